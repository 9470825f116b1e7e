#include "serial/port_name.h"

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace serial {

std::string DefaultVirtualPortDir()
{
    // A relative or empty XDG_RUNTIME_DIR is no runtime folder at all.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return std::string(runtime) + "/display-test/ports";
    return "/tmp/display-test-" + std::to_string(::getuid()) + "/ports";
}

std::string PortDevicePath(std::string_view entry)
{
    return PosixDevicePath(entry, "/dev", DefaultVirtualPortDir());
}

}  // namespace serial
