#include "panel/system_menu.h"

#include <QWidget>

#include <windows.h>

namespace panel {

bool AppendToSystemMenu(QWidget& window, const QString& text, unsigned id)
{
    HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
    if (menu == nullptr)
        return false;
    const std::wstring entry = text.toStdWString();
    return ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) && ::AppendMenuW(menu, MF_STRING, id, entry.c_str());
}

unsigned SystemCommandOf(const QByteArray& eventType, void* message)
{
    if (eventType != "windows_generic_MSG" || message == nullptr)
        return 0;
    const auto* msg = static_cast<const MSG*>(message);
    return msg->message == WM_SYSCOMMAND ? static_cast<unsigned>(msg->wParam) : 0;
}

}  // namespace panel
