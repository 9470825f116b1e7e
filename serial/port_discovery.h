#pragma once
// Which serial ports exist, as list entries in the order the port combo shows them.

#include <functional>
#include <string>
#include <vector>

namespace serial {

// Windows: COM1 to COM16, probed in port order. POSIX: the virtual ports first, by
// name, then the serial devices of sysfs in natural order ("ttyS2" before "ttyS10"); a
// device whose name does not begin with "tty" (rfcomm0) is listed by its path. A virtual
// port is listed while its display runs and its link leads to a terminal line; a line
// that is an active kernel console is left out.
std::vector<std::string> DiscoverPorts();

// The POSIX discovery with its roots as parameters, so tests run on a fake tree.
struct DiscoveryRoots {
    std::string sysClassTty = "/sys/class/tty";
    std::string devDir = "/dev";
    std::string virtualDir;  // empty: DefaultVirtualPortDir()
    std::string consoleList;  // the kernel's active consoles; empty: <sysClassTty>/console/active
    // Whether a ttyS port has a UART behind it, given its sysfs folder and its device:
    // most PCs register ports that exist only on paper. Empty: the driver's own answer
    // (the sysfs "type" file, else TIOCGSERIAL), anything but PORT_UNKNOWN counts.
    std::function<bool(const std::string& sysEntry, const std::string& devicePath)> uartProbe;
};
std::vector<std::string> DiscoverPorts(const DiscoveryRoots& roots);

// "ttyS2" < "ttyS10": runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace serial
