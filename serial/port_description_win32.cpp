#include "serial/port_description.h"

namespace serial {

// COM1 to COM16 are probed by number only; the name says nothing of the hardware.
std::string DescribePort(const std::string&, const DiscoveryRoots&)
{
    return kPlainPortDescription;
}

}  // namespace serial
