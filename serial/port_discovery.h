#pragma once
// Which serial ports exist, as list entries in the order the port combo shows them.

#include <functional>
#include <string>
#include <vector>

namespace serial {

// Windows: the virtual ports first, by name (a file of a running display in
// DefaultVirtualPortDir()), then the ports the registry names (HARDWARE\DEVICEMAP\SERIALCOMM,
// where every serial driver lists its ports) together with those of COM1 to COM16 that
// exist, in number order ("COM2" before "COM10"). POSIX: the virtual ports first, by
// name, then the serial devices of sysfs in natural order ("ttyS2" before "ttyS10"); a
// device whose name does not begin with "tty" (rfcomm0) is listed by its path. A virtual
// port is listed while its display runs and its link leads to a terminal line; a line
// that is an active kernel console is left out.
std::vector<std::string> DiscoverPorts();

// DiscoverPorts in its two steps, for a program with a window. ListedPorts opens no
// device (Windows: the running virtual displays, then the registry's ports), so any
// thread may call it. ProbedPorts opens
// devices to see whether they exist (Windows: COM1 to COM16), which a driver may answer
// slowly: keep it off a window's thread. POSIX finds every port in the first step.
std::vector<std::string> ListedPorts();
std::vector<std::string> ProbedPorts();
// Whether ProbedPorts can find anything on this platform.
bool PortsAreProbed();

// The listed ports, with each probed one they lack put before the first COM port that
// sorts after it (NaturalLess), else at the end: a sorted list stays sorted, the virtual
// ports listed first stay first, and nothing to add leaves it as it is.
std::vector<std::string> MergePorts(std::vector<std::string> listed, const std::vector<std::string>& probed);

// The POSIX discovery with its roots as parameters, so tests run on a fake tree.
struct DiscoveryRoots {
    std::string sysClassTty = "/sys/class/tty";
    std::string devDir = "/dev";
    std::string virtualDir;   // empty: DefaultVirtualPortDir() (Windows too)
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
