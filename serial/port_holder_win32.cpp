#include "serial/port_holder.h"

namespace serial {

// Windows names no holder of a COM port to an unprivileged program.
std::string PortHolder(const std::string&)
{
    return {};
}

}  // namespace serial
