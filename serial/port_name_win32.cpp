#include "serial/port_name.h"

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

}  // namespace serial
