#include "serial/port_discovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/native_handle.h"
#include "serial/port_name.h"
#include "serial/virtual_port_posix.h"

namespace serial {

namespace {

namespace fs = std::filesystem;

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Names in a folder, "." and ".." left out; none when it cannot be read.
std::vector<std::string> FolderNames(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

// The kernel's active consoles ("tty0 ttyS0"): the kernel writes its messages there and
// may read a login from it; a program that reconfigures such a line disturbs both.
std::set<std::string> ActiveConsoles(const DiscoveryRoots& roots)
{
    const std::string list =
        roots.consoleList.empty() ? WithoutTrailingSlashes(roots.sysClassTty) + "/console/active" : roots.consoleList;
    return ActiveConsoleNames(list);
}

// A link counts while its display runs and leads to a terminal line: a pseudo-terminal's
// slave, or one of the serial devices listed.
bool LeadsToLine(const std::string& path, const std::string& devDir, const std::vector<std::string>& devices)
{
    struct stat link {};
    struct stat target {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || ::stat(path.c_str(), &target) != 0
        || !S_ISCHR(target.st_mode))
        return false;
    if (IsPseudoTerminalSlave(target.st_rdev))
        return true;
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    return !ec && device.parent_path() == fs::path(devDir)
           && std::find(devices.begin(), devices.end(), device.filename().string()) != devices.end();
}

std::vector<std::string> VirtualPorts(const DiscoveryRoots& roots, const std::vector<std::string>& devices)
{
    const std::string dir =
        WithoutTrailingSlashes(roots.virtualDir.empty() ? DefaultVirtualPortDir() : roots.virtualDir);
    if (!VirtualFolderTrusted(dir))
        return {};

    std::vector<std::string> ports;
    for (const std::string& name : FolderNames(dir)) {
        // Hidden names are links still being set up and the displays' lock files; a name
        // that Open would look for elsewhere (a "tty..." name is taken from the device
        // folder) cannot be listed.
        const std::string path = dir + "/" + name;
        if (name.front() == '.' || PosixDevicePath(name, roots.devDir, dir) != path)
            continue;
        if (VirtualPortAlive(dir, name) && LeadsToLine(path, WithoutTrailingSlashes(roots.devDir), devices))
            ports.push_back(name);
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

// The driver's word on a ttyS port: the sysfs "type" file needs no access to the device,
// so a user outside the dialout group still sees the port (and learns why it does not
// open); older kernels only answer TIOCGSERIAL.
bool DriverReportsUart(const std::string& sysEntry, const std::string& devicePath)
{
    std::ifstream typeFile(sysEntry + "/type");
    int type = PORT_UNKNOWN;
    if (typeFile >> type)
        return type != PORT_UNKNOWN;

    OwnedHandle port(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    serial_struct info{};
    return port.valid() && ::ioctl(port.get(), TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
}

std::vector<std::string> SerialDevices(const DiscoveryRoots& roots)
{
    const std::string sysDir = WithoutTrailingSlashes(roots.sysClassTty);
    const std::string devDir = WithoutTrailingSlashes(roots.devDir);

    const std::set<std::string> consoles = ActiveConsoles(roots);
    std::vector<std::string> names;
    for (const std::string& name : FolderNames(sysDir)) {
        // The kernel's console stays out of the list; naming it opens it only when the
        // user insists.
        if (consoles.count(name) != 0)
            continue;
        const std::string sysEntry = sysDir + "/" + name;
        // Only a terminal with hardware behind it has a device link: virtual consoles,
        // pseudo-terminals and the console have none.
        struct stat link {};
        if (::lstat((sysEntry + "/device").c_str(), &link) != 0)
            continue;
        // The 8250 driver registers as many ttyS ports as it may ever need, most with no
        // UART behind them.
        if (name.rfind("ttyS", 0) == 0) {
            const std::string devicePath = devDir + "/" + name;
            const bool hasUart =
                roots.uartProbe ? roots.uartProbe(sysEntry, devicePath) : DriverReportsUart(sysEntry, devicePath);
            if (!hasUart)
                continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

}  // namespace

std::vector<std::string> DiscoverPorts()
{
    return DiscoverPorts(DiscoveryRoots{});
}

// Every port is found in the folders and sysfs; nothing is left to probe.
std::vector<std::string> ListedPorts()
{
    return DiscoverPorts();
}

std::vector<std::string> ProbedPorts()
{
    return {};
}

bool PortsAreProbed()
{
    return false;
}

std::vector<std::string> DiscoverPorts(const DiscoveryRoots& roots)
{
    const std::vector<std::string> devices = SerialDevices(roots);
    std::vector<std::string> ports = VirtualPorts(roots, devices);
    // A device that is not named tty... (a Bluetooth rfcomm0) is listed by its path, the
    // one entry that cannot be mistaken for a virtual port.
    const std::string devDir = WithoutTrailingSlashes(roots.devDir);
    for (const std::string& name : devices) {
        const std::string path = devDir + "/" + name;
        ports.push_back(PosixDevicePath(name, devDir, "") == path ? name : path);
    }
    return ports;
}

}  // namespace serial
