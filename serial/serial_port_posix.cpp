// The POSIX side of CSerialPort: what its error codes are, and which line a name opens: a
// serial device by its path, or a virtual display's pseudo-terminal through the link its
// running display published. Both are terminal lines (terminal_posix.cpp).
#include "serial/serial_port.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/line.h"
#include "serial/network_line.h"
#include "serial/network_name.h"
#include "serial/port_name.h"
#include "serial/read_port.h"
#include "serial/terminal_posix.h"
#include "serial/virtual_port_posix.h"

namespace serial {

namespace {

// EIO: a pseudo-terminal whose other side closed, a USB adapter in the middle of going
// away; ENXIO, ENODEV: the device is gone; ECONNRESET, EPIPE: a network port's device
// server went away.
constexpr std::uint32_t kDeviceGone[] = {EIO, ENXIO, ENODEV, ECONNRESET, EPIPE};

}  // namespace

const WriteErrors kWriteErrors = {ETIMEDOUT, ECANCELED, kDeviceGone};

OpenError KindOfErrno(int err, OpenStep step)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: return OpenError::NoSuchPort;
    case EACCES:
    case EPERM:
    case EROFS: return OpenError::PermissionDenied;
    case EBUSY:  // another holder set exclusive mode
        return OpenError::InUse;
    case ENOTTY:  // a file or device that is no terminal
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP: return OpenError::BadName;
    default: break;
    }
    if (step == OpenStep::Lock && (err == EWOULDBLOCK || err == EAGAIN))
        return OpenError::InUse;
    if (step == OpenStep::Baud && err == EINVAL)
        return OpenError::UnsupportedBaud;
    return OpenError::Other;
}

OpenFailure FailureOf(int err, OpenStep step)
{
    return {KindOfErrno(err, step), err, std::generic_category().message(err)};
}

namespace {

// A name resolved to the device it opens, and so to its kind of line.
struct TerminalName {
    std::string path;
    // The virtual-port folder the path is a link in: a virtual display's line. Empty for a
    // serial device.
    std::string displayFolder;
};

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

// The device a list entry or a typed name opens, once the checks on it passed, from what
// stat says before anything is opened. False, with *failure set, when the name is refused.
bool Resolve(std::string_view name, const OpenOptions& options, OpenFailure* failure, TerminalName* line)
{
    namespace fs = std::filesystem;
    std::string path = PosixDevicePath(name, "/dev", DefaultVirtualPortDir());
    if (path.empty())
        return RefuseAsNoLine(failure);

    // A virtual port is followed only out of a folder that can be trusted, and only while
    // its display runs: the terminal a dead display's link names may belong to another
    // program by now.
    std::string folder = VirtualFolderOf(path);
    if (!folder.empty()) {
        std::string why;
        if (!VirtualFolderTrusted(folder, &why)) {
            *failure = {OpenError::BadName, 0, why};
            return false;
        }
        // A folder that cannot be searched hides whether any display runs.
        if (::access(folder.c_str(), X_OK) != 0)
            return Refuse(failure, OpenError::PermissionDenied, errno, folder);
        if (!VirtualPortAlive(folder, fs::path(path).filename().string()))
            return RefuseAsDisplayGone(failure);
    }

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        // Not the device's fault: a folder on the way may not be searched.
        if (err == EACCES)
            return Refuse(failure, OpenError::PermissionDenied, err, fs::path(path).parent_path().string());
        *failure = {KindOfErrno(err, OpenStep::Open), err, std::strerror(err)};
        return false;
    }
    if (!AcceptDevice(st, options, failure))
        return false;
    *line = {std::move(path), std::move(folder)};
    return true;
}

// Opens the terminal a resolved name leads to, with the checks of its kind.
OwnedHandle OpenResolved(const TerminalName& line, std::uint32_t baudRate, int access, const OpenOptions& options,
                         OpenFailure* failure, FoundSettings* found)
{
    if (line.displayFolder.empty()) {
        const auto accept = [&](int fd, OpenFailure* why) { return AcceptOpenedDevice(fd, options, why); };
        return OpenTerminal(line.path, baudRate, access, accept, failure, found);
    }
    const auto accept = [&](int fd, OpenFailure* why) {
        return AcceptOpenedDisplayLine(line.path, line.displayFolder, fd, options, why);
    };
    OwnedHandle port = OpenTerminal(line.path, baudRate, access, accept, failure, found);
    // A virtual display reads from its terminal the settings its sender used, to show what
    // a display at its own rate would make of the bytes; put back at the close, they would
    // be gone before it looks. That terminal serves no one else, and each client sets its
    // own: only a real line gets its settings back.
    struct stat st {};
    if (port.valid() && ::fstat(port.get(), &st) == 0 && IsPseudoTerminalSlave(st.st_rdev)
        && !IsActiveConsole(st.st_rdev, options.sysClassTty, ConsoleList(options)))
        found->reset();
    return port;
}

}  // namespace

bool AcceptOpenedDevice(int fd, const OpenOptions& options, OpenFailure* failure)
{
    struct stat opened {};
    if (::fstat(fd, &opened) != 0)
        return true;  // the terminal calls that follow fail on it
    return AcceptDevice(opened, options, failure);
}

bool AcceptOpenedDisplayLine(const std::string& path, const std::string& folder, int fd, const OpenOptions& options,
                             OpenFailure* failure)
{
    if (!AcceptOpenedDevice(fd, options, failure))
        return false;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0)
        return true;  // the terminal calls that follow fail on it
    // The display may have ended between the look and the open, and its terminal gone to
    // another program: a display still holding the name, and its link leading to the very
    // device opened, prove it is a display's line.
    struct stat linked {};
    if (!VirtualPortAlive(folder, std::filesystem::path(path).filename().string()) || ::stat(path.c_str(), &linked) != 0
        || linked.st_rdev != opened.st_rdev)
        return RefuseAsDisplayGone(failure);
    return true;
}

std::unique_ptr<Line> OpenLine(std::string_view name, std::uint32_t baudRate, const OpenOptions& options,
                               OpenFailure* failure)
{
    if (IsNetworkName(name))
        return OpenNetworkLine(name, baudRate, options, failure);
    TerminalName line;
    if (!Resolve(name, options, failure, &line))
        return nullptr;
    FoundSettings found;
    OwnedHandle port = OpenResolved(line, baudRate, O_RDWR, options, failure, &found);
    if (!port.valid())
        return nullptr;
    return TerminalLine(std::move(port), found);
}

OwnedHandle OpenForReading(std::string_view portName, std::uint32_t baudRate, OpenFailure* failure)
{
    const OpenOptions options;
    TerminalName line;
    if (!Resolve(portName, options, failure, &line))
        return {};
    FoundSettings found;
    return OpenResolved(line, baudRate, O_RDONLY, options, failure, &found);
}

}  // namespace serial
