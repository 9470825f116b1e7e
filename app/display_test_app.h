#pragma once
// The application: runs the test panel as the program's one window until it closes.

#include "panel/display_test_dlg.h"

namespace app {

class CDisplayTestApp {
public:
    // The panel's port list, clock and timer; unset ones are the machine's own.
    explicit CDisplayTestApp(panel::PanelServices services = {});

    // Runs the panel modally; returns once it has closed and released its port. False,
    // as the program has nothing more to do then.
    bool InitInstance();

private:
    panel::PanelServices m_services;
};

}  // namespace app
