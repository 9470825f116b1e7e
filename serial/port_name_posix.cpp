#include "serial/port_name.h"

#include <cstdlib>
#include <string>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "serial/serial_port_backend.h"
#include "serial/virtual_port.h"

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

namespace backend {

std::string DevicePathForOpen(std::string_view name, OpenFailure* failure)
{
    namespace fs = std::filesystem;
    const std::string virtualDir = DefaultVirtualPortDir();
    std::string path = PosixDevicePath(name, "/dev", virtualDir);
    if (path.empty()) {
        *failure = {OpenError::BadName, 0, {}};
        return {};
    }

    // A virtual port, by its name or by its path in the folder, is followed only out of
    // a folder that can be trusted, and only while its display runs: the terminal a dead
    // display's link names may belong to another program by now.
    const fs::path link = fs::path(path).lexically_normal();
    if (link.parent_path() == fs::path(virtualDir).lexically_normal()) {
        std::string why;
        if (!VirtualFolderTrusted(virtualDir, &why)) {
            *failure = {OpenError::BadName, 0, why};
            return {};
        }
        if (!VirtualPortAlive(virtualDir, link.filename().string())) {
            *failure = {OpenError::NoSuchPort, 0, "its virtual display is not running"};
            return {};
        }
    }

    // Some devices act on being opened (/dev/ptmx makes a new terminal): what is no
    // terminal line is refused before it is touched.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && !IsTerminalLine(st.st_rdev)) {
        *failure = {OpenError::BadName, 0, {}};
        return {};
    }
    return path;
}

}  // namespace backend

}  // namespace serial
