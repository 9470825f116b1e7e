#include "serial/port_discovery.h"

#include <windows.h>

#include <algorithm>

#include "serial/native_handle.h"
#include "serial/port_name.h"
#include "serial/serial_comm_win32.h"
#include "serial/virtual_port_win32.h"

namespace serial {

namespace {

constexpr int kFirstProbedPort = 1;
constexpr int kLastProbedPort = 16;

// Whether the device exists. No access is asked for, so nothing is read or written and
// the line settings stay as they are; the handle is closed at once. A port that a program
// holds (the panel itself) refuses the probe, but exists all the same.
bool PortExists(const std::string& devicePath)
{
    HANDLE probe = ::CreateFileA(devicePath.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    }
    const OwnedHandle closed(probe);
    return true;
}

// The ports the registry names, in number order.
std::vector<std::string> RegistryPorts()
{
    std::vector<std::string> ports;
    for (const win32::RegisteredPort& registered : win32::RegisteredPorts()) {
        if (std::find(ports.begin(), ports.end(), registered.port) == ports.end())
            ports.push_back(registered.port);
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

// The running virtual displays of the folder, then the registry's ports.
std::vector<std::string> ListedPortsIn(const std::string& virtualDir)
{
    std::vector<std::string> ports;
    if (!virtualDir.empty())
        ports = win32::LiveVirtualPorts(virtualDir);
    std::vector<std::string> registered = RegistryPorts();
    ports.insert(ports.end(), registered.begin(), registered.end());
    return ports;
}

}  // namespace

std::vector<std::string> ListedPorts()
{
    return ListedPortsIn(DefaultVirtualPortDir());
}

// COM1 to COM16 as before the registry was read: a port that a driver does not name
// there (an older virtual port driver, a link of Wine's) still exists. A port the
// registry names is not opened: it is listed anyway, and a Bluetooth port can keep an
// open waiting for seconds.
std::vector<std::string> ProbedPorts()
{
    const std::vector<std::string> listed = RegistryPorts();
    std::vector<std::string> ports;
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
        const std::string entry = "COM" + std::to_string(n);
        if (std::find(listed.begin(), listed.end(), entry) == listed.end() && PortExists(WindowsDevicePath(entry)))
            ports.push_back(entry);
    }
    return ports;
}

bool PortsAreProbed()
{
    return true;
}

std::vector<std::string> DiscoverPorts()
{
    return MergePorts(ListedPorts(), ProbedPorts());
}

// Of the roots, only the virtual-port folder concerns Windows; it knows its other ports
// from the registry.
std::vector<std::string> DiscoverPorts(const DiscoveryRoots& roots)
{
    return MergePorts(ListedPortsIn(roots.virtualDir.empty() ? DefaultVirtualPortDir() : roots.virtualDir),
                      ProbedPorts());
}

}  // namespace serial
