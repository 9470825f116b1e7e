#include "serial/port_name.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "serial/serial_port_backend.h"
#include "serial/virtual_port_posix.h"

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

bool RefuseAsNoLine(OpenFailure* failure, int err = 0, std::string what = {})
{
    *failure = {OpenError::BadName, err, std::move(what)};
    return false;
}

bool RefuseAsDisplayGone(OpenFailure* failure)
{
    *failure = {OpenError::NoSuchPort, 0, "its virtual display is not running"};
    return false;
}

bool Refuse(OpenFailure* failure, OpenError kind, int err, const std::string& where)
{
    *failure = {kind, err, where + ": " + std::strerror(err)};
    return false;
}

std::string ConsoleList(const OpenOptions& options)
{
    return options.consoleList.empty() ? options.sysClassTty + "/console/active" : options.consoleList;
}

// The rules of the port list, on what stat says of a device: a terminal line, and not the
// kernel's console unless the user insists. Some devices act on being opened (/dev/ptmx
// makes a new terminal, a FIFO wakes its reader), so this comes before any open.
bool AcceptDevice(const struct stat& st, const OpenOptions& options, OpenFailure* failure)
{
    if (S_ISDIR(st.st_mode))
        return RefuseAsNoLine(failure, EISDIR, "a folder");
    if (S_ISFIFO(st.st_mode))
        return RefuseAsNoLine(failure, ENOTTY, "a FIFO");
    if (S_ISREG(st.st_mode))
        return RefuseAsNoLine(failure, ENOTTY, "a regular file");
    if (!S_ISCHR(st.st_mode) || !IsTerminalLine(st.st_rdev))
        return RefuseAsNoLine(failure);
    if (!options.allowConsole && IsActiveConsole(st.st_rdev, options.sysClassTty, ConsoleList(options))) {
        *failure = {OpenError::KernelConsole, 0, "the kernel writes its messages there"};
        return false;
    }
    return true;
}

}  // namespace

std::string DevicePathForOpen(std::string_view name, const OpenOptions& options, OpenFailure* failure)
{
    namespace fs = std::filesystem;
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
        // A folder that cannot be searched hides whether any display runs.
        if (::access(folder.c_str(), X_OK) != 0) {
            Refuse(failure, OpenError::PermissionDenied, errno, folder);
            return {};
        }
        if (!VirtualPortAlive(folder, fs::path(path).filename().string())) {
            RefuseAsDisplayGone(failure);
            return {};
        }
    }

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        // Not the device's fault: a folder on the way may not be searched.
        if (err == EACCES)
            Refuse(failure, OpenError::PermissionDenied, err, fs::path(path).parent_path().string());
        else
            *failure = {KindOfErrno(err, OpenStep::Open), err, std::strerror(err)};
        return {};
    }
    if (!AcceptDevice(st, options, failure))
        return {};
    return path;
}

bool IsVirtualDisplayLine(const std::string& path, NativeHandle port, const OpenOptions& options)
{
    struct stat st{};
    return !VirtualFolderOf(path).empty() && ::fstat(port, &st) == 0 && IsPseudoTerminalSlave(st.st_rdev) &&
           !IsActiveConsole(st.st_rdev, options.sysClassTty, ConsoleList(options));
}

bool AcceptOpenedDevice(const std::string& path, NativeHandle port, const OpenOptions& options,
                        OpenFailure* failure)
{
    struct stat opened {};
    if (::fstat(port, &opened) != 0)
        return true;  // the terminal calls that follow fail on it
    if (!AcceptDevice(opened, options, failure))
        return false;
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
