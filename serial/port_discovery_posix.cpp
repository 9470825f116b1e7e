#include "serial/port_discovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/native_handle.h"
#include "serial/port_name.h"

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

// A real folder of the user's own that nobody else may write to.
bool IsPrivateFolder(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool IsLinkToCharDevice(const std::string& path)
{
    struct stat link {};
    struct stat target {};
    return ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && ::stat(path.c_str(), &target) == 0
           && S_ISCHR(target.st_mode);
}

std::vector<std::string> VirtualPorts(const DiscoveryRoots& roots)
{
    const std::string dir = WithoutTrailingSlashes(roots.virtualDir.empty() ? DefaultVirtualPortDir() : roots.virtualDir);
    // Whoever may write to the folder, or rename it away from under its parent, could slip
    // any device in under a name we trust.
    const std::string parent = fs::path(dir).parent_path().string();
    if (!IsPrivateFolder(dir) || parent.empty() || !IsPrivateFolder(parent))
        return {};

    std::vector<std::string> ports;
    for (const std::string& name : FolderNames(dir)) {
        // Hidden names are links still being set up; a name that Open would look for
        // elsewhere (a "tty..." name is taken from the device folder) cannot be listed.
        const std::string path = dir + "/" + name;
        if (name.front() == '.' || PosixDevicePath(name, roots.devDir, dir) != path)
            continue;
        if (IsLinkToCharDevice(path))
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
    serial_struct info {};
    return port.valid() && ::ioctl(port.get(), TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
}

std::vector<std::string> SerialDevices(const DiscoveryRoots& roots)
{
    const std::string sysDir = WithoutTrailingSlashes(roots.sysClassTty);
    const std::string devDir = WithoutTrailingSlashes(roots.devDir);

    std::vector<std::string> names;
    for (const std::string& name : FolderNames(sysDir)) {
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
            const bool hasUart = roots.uartProbe ? roots.uartProbe(sysEntry, devicePath)
                                                 : DriverReportsUart(sysEntry, devicePath);
            if (!hasUart)
                continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    // A device that is not named tty... (a Bluetooth rfcomm0) is listed by its path, the
    // one entry that cannot be mistaken for a virtual port.
    std::vector<std::string> ports;
    for (const std::string& name : names) {
        const std::string path = devDir + "/" + name;
        ports.push_back(PosixDevicePath(name, devDir, "") == path ? name : path);
    }
    return ports;
}

}  // namespace

std::vector<std::string> DiscoverPorts()
{
    return DiscoverPorts(DiscoveryRoots{});
}

std::vector<std::string> DiscoverPorts(const DiscoveryRoots& roots)
{
    std::vector<std::string> ports = VirtualPorts(roots);
    std::vector<std::string> devices = SerialDevices(roots);
    ports.insert(ports.end(), devices.begin(), devices.end());
    return ports;
}

}  // namespace serial
