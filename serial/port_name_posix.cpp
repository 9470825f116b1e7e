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

namespace {

// The virtual-port folder when the path is a link in it (by name or by path), else empty.
std::string VirtualFolderOf(const std::string& path)
{
    namespace fs = std::filesystem;
    const std::string virtualDir = DefaultVirtualPortDir();
    const fs::path link = fs::path(path).lexically_normal();
    return link.parent_path() == fs::path(virtualDir).lexically_normal() ? virtualDir : std::string();
}

bool RefuseAsNoLine(OpenFailure* failure)
{
    *failure = {OpenError::BadName, 0, {}};
    return false;
}

bool RefuseAsDisplayGone(OpenFailure* failure)
{
    *failure = {OpenError::NoSuchPort, 0, "its virtual display is not running"};
    return false;
}

}  // namespace

std::string DevicePathForOpen(std::string_view name, OpenFailure* failure)
{
    std::string path = PosixDevicePath(name, "/dev", DefaultVirtualPortDir());
    if (path.empty()) {
        RefuseAsNoLine(failure);
        return {};
    }

    // A virtual port is followed only out of a folder that can be trusted, and only while
    // its display runs: the terminal a dead display's link names may belong to another
    // program by now.
    if (const std::string folder = VirtualFolderOf(path); !folder.empty()) {
        std::string why;
        if (!VirtualFolderTrusted(folder, &why)) {
            *failure = {OpenError::BadName, 0, why};
            return {};
        }
        if (!VirtualPortAlive(folder, std::filesystem::path(path).filename().string())) {
            RefuseAsDisplayGone(failure);
            return {};
        }
    }

    // Some devices act on being opened (/dev/ptmx makes a new terminal): what is no
    // terminal line is refused before it is touched.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && !IsTerminalLine(st.st_rdev)) {
        RefuseAsNoLine(failure);
        return {};
    }
    return path;
}

bool AcceptOpenedDevice(const std::string& path, NativeHandle port, OpenFailure* failure)
{
    struct stat opened {};
    if (::fstat(port, &opened) != 0 || !S_ISCHR(opened.st_mode))
        return true;  // no device: the terminal calls that follow refuse it
    if (!IsTerminalLine(opened.st_rdev))
        return RefuseAsNoLine(failure);
    // The display may have ended between the look and the open, and its terminal gone to
    // another program: a display still holding the name, and its link leading to the very
    // device opened, prove it is a display's line.
    if (const std::string folder = VirtualFolderOf(path); !folder.empty()) {
        struct stat linked {};
        if (!VirtualPortAlive(folder, std::filesystem::path(path).filename().string())
            || ::stat(path.c_str(), &linked) != 0 || linked.st_rdev != opened.st_rdev)
            return RefuseAsDisplayGone(failure);
    }
    return true;
}

}  // namespace backend

}  // namespace serial
