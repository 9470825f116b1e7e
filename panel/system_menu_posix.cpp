#include "panel/system_menu.h"

namespace panel {

// No system menu a program can add to: the window offers its menu on a right click.
bool AppendToSystemMenu(QWidget&, const QString&, unsigned)
{
    return false;
}

unsigned SystemCommandOf(const QByteArray&, void*)
{
    return 0;
}

}  // namespace panel
