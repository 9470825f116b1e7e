#include "serial/port_discovery.h"

#include <windows.h>

#include "serial/port_name.h"

namespace serial {

namespace {

constexpr int kFirstProbedPort = 1;
constexpr int kLastProbedPort = 16;

// Whether the device exists. No access is asked for, so nothing is read or written and
// the line settings stay as they are; the handle is closed at once. A port that a program
// holds (the panel itself, once a second) refuses the probe, but exists all the same.
bool PortExists(const std::string& devicePath)
{
    HANDLE probe = ::CreateFileA(devicePath.c_str(), 0, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    }
    ::CloseHandle(probe);
    return true;
}

}  // namespace

std::vector<std::string> DiscoverPorts()
{
    std::vector<std::string> ports;
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
        const std::string entry = "COM" + std::to_string(n);
        if (PortExists(WindowsDevicePath(entry)))
            ports.push_back(entry);
    }
    return ports;
}

// The roots describe a POSIX machine; Windows knows its ports by number only.
std::vector<std::string> DiscoverPorts(const DiscoveryRoots&)
{
    return DiscoverPorts();
}

}  // namespace serial
