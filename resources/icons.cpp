#include "resources/icons.h"

#include <QString>
#include <initializer_list>

#include "resources/resource_ids.h"

namespace res {
namespace {

QIcon FromSizes(const char* name, std::initializer_list<int> sizes)
{
    QIcon icon;
    for (int size : sizes)
        icon.addFile(QStringLiteral(":/icons/%1_%2.png").arg(QLatin1String(name)).arg(size), QSize(size, size));
    return icon;
}

}  // namespace

QIcon LoadIcon(int id)
{
    switch (id) {
    case IDR_MAINFRAME:
        return FromSizes("app", {16, 24, 32, 48, 64, 128, 256});
    case IDI_PORT_OPEN:
        return FromSizes("port_open", {16, 32, 48, 64});
    case IDI_PORT_CLOSED:
        return FromSizes("port_closed", {16, 32, 48, 64});
    case IDI_LOGO:
        return FromSizes("logo", {32, 64});
    default:
        return {};
    }
}

}  // namespace res
