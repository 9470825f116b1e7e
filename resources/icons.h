#pragma once
// The program's icons, by resource id, from the pictures compiled into the program.

#include <QIcon>

namespace res {

// IDR_MAINFRAME, IDI_PORT_OPEN, IDI_PORT_CLOSED or IDI_LOGO, with every size drawn for it;
// a null icon for any other id.
QIcon LoadIcon(int id);

}  // namespace res
