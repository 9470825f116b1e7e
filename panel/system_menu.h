#pragma once
// The window's own system menu, where the platform has one (Windows): an entry appended
// to it, and the commands chosen from it, read from the window's messages. One file per
// platform.

#include <QByteArray>
#include <QString>

class QWidget;

namespace panel {

// Appends a separator and the entry, with its command id, to the window's system menu.
// False where the window has none.
bool AppendToSystemMenu(QWidget& window, const QString& text, unsigned id);

// The command of a system-menu choice carried by a native message (WM_SYSCOMMAND), or 0
// for any other message.
unsigned SystemCommandOf(const QByteArray& eventType, void* message);

}  // namespace panel
