#include "serial/port_name.h"
#include "serial/serial_port_backend.h"

namespace serial {

// Windows has no folder of virtual ports: a virtual display appears as a COM port of a
// virtual serial driver, and discovery finds it like any other.
std::string DefaultVirtualPortDir()
{
    return {};
}

std::string PortDevicePath(std::string_view entry)
{
    return WindowsDevicePath(entry);
}

namespace backend {

std::string DevicePathForOpen(std::string_view name, const OpenOptions&, OpenFailure* failure)
{
    std::string path = WindowsDevicePath(name);
    if (path.empty())
        *failure = {OpenError::BadName, 0, {}};
    return path;
}

}  // namespace backend

}  // namespace serial
