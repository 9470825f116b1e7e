#include "serial/virtual_port_posix.h"

#include "serial/virtual_port.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <fcntl.h>
#include <linux/major.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "serial/native_handle.h"

namespace serial {

namespace {

bool Refuse(std::string* reason, std::string text)
{
    if (reason != nullptr)
        *reason = std::move(text);
    return false;
}

bool PrivateFolder(const std::string& path, std::string* reason)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return Refuse(reason, path + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return Refuse(reason, path + ": not a folder");
    if (st.st_uid != ::geteuid())
        return Refuse(reason, path + ": the folder belongs to another user");
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return Refuse(reason, path + ": other users may write to the folder");
    return true;
}

// The whole file, as one lock: a display's lock and a look at it must meet.
struct flock WholeFile(short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

bool Fail(std::string* error, const std::string& what, int err)
{
    if (error)
        *error = what + ": " + std::strerror(err);
    return false;
}

std::string ReadLink(const std::string& path)
{
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}

bool SameFile(int fd, const std::string& path)
{
    struct stat held {
    }, named{};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev
           && held.st_ino == named.st_ino;
}

// Creates folder and its missing parents with mode 0700; false, with the reason, when it
// cannot, or when the folder is not one the panel would trust.
bool EnsurePrivateFolder(const std::string& folder, std::string* error)
{
    if (folder.empty() || folder.front() != '/')
        return Refuse(error, "no folder for virtual ports (" + folder + ")");
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return Fail(error, part, errno);
        if (slash == std::string::npos)
            break;
    }
    // The panel and the sender trust no port out of a folder that others could change:
    // publishing there would only make a port nobody sees.
    std::string why;
    if (!VirtualFolderTrusted(folder, &why))
        return Refuse(error, why + "; no virtual port is published there");
    return true;
}

}  // namespace

bool VirtualFolderTrusted(const std::string& folder, std::string* reason)
{
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir.empty() || dir.front() != '/')
        return Refuse(reason, "no folder for virtual ports (\"" + folder + "\")");
    const std::string parent = std::filesystem::path(dir).parent_path().string();
    return PrivateFolder(dir, reason) && (parent == dir || PrivateFolder(parent, reason));
}

std::string VirtualPortLockPath(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + "." + name + ".lock";
}

bool LockVirtualPort(int lockFd)
{
    // An open-file lock: unlike flock it can be looked at without being taken, and
    // unlike a process lock it does not vanish when the display closes another
    // descriptor of the file.
    struct flock lock = WholeFile(F_WRLCK);
    return ::fcntl(lockFd, F_OFD_SETLK, &lock) == 0;
}

bool VirtualPortAlive(const std::string& folder, const std::string& name)
{
    const OwnedHandle file(
        ::open(VirtualPortLockPath(folder, name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid())
        return false;
    struct flock lock = WholeFile(F_WRLCK);
    return ::fcntl(file.get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

bool IsPseudoTerminalSlave(dev_t device)
{
    const unsigned int major = ::major(device);
    return major >= UNIX98_PTY_SLAVE_MAJOR && major < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT;
}

bool IsTerminalLine(dev_t device, const std::string& sysDevChar)
{
    if (IsPseudoTerminalSlave(device))
        return true;
    namespace fs = std::filesystem;
    const std::string entry =
        sysDevChar + "/" + std::to_string(::major(device)) + ":" + std::to_string(::minor(device));
    // Hardware behind it: virtual consoles, /dev/tty, /dev/console and /dev/ptmx have none.
    struct stat link {};
    if (::lstat((entry + "/device").c_str(), &link) != 0)
        return false;
    std::error_code ec;
    const fs::path subsystem = fs::read_symlink(entry + "/subsystem", ec);
    return !ec && subsystem.filename() == "tty";
}

std::set<std::string> ActiveConsoleNames(const std::string& consoleList)
{
    std::ifstream file(consoleList);
    return {std::istream_iterator<std::string>(file), std::istream_iterator<std::string>()};
}

bool IsActiveConsole(dev_t device, const std::string& sysClassTty, const std::string& consoleList)
{
    for (const std::string& name : ActiveConsoleNames(consoleList)) {
        // The number as the kernel tells it ("4:64"), so that a console is known by any
        // path that leads to it.
        std::ifstream file(sysClassTty + "/" + name + "/dev");
        unsigned int major = 0, minor = 0;
        char colon = 0;
        if (file >> major >> colon >> minor && colon == ':' && ::makedev(major, minor) == device)
            return true;
    }
    return false;
}

bool VirtualPortPublication::Publish(const std::string& folder, const std::string& line, std::string* error,
                                     std::string_view base)
{
    Remove();
    if (!EnsurePrivateFolder(folder, error))
        return false;

    int retries = 0;
    for (int n = 0; n < kMaxNames; ++n) {
        const std::string name = std::string(base) + std::to_string(n);
        const std::string path = folder + "/" + name;
        const std::string lockPath = VirtualPortLockPath(folder, name);

        OwnedHandle lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
        // Something else in the lock file's place (a link, a folder, a FIFO) is not ours to
        // remove: it holds the name, as anything but a link in the name's own place does.
        struct stat lockStat {};
        if (!lock.valid() && (errno == ELOOP || errno == EISDIR || errno == ENXIO))
            continue;
        if (!lock.valid())
            return Fail(error, lockPath, errno);
        if (::fstat(lock.get(), &lockStat) != 0 || !S_ISREG(lockStat.st_mode))
            continue;
        if (!LockVirtualPort(lock.get())) {
            if (errno == EAGAIN || errno == EACCES)
                continue;  // a running display holds this name
            return Fail(error, lockPath, errno);
        }
        // Its last holder removes the lock file when it ends; a lock won on a file already
        // removed holds nothing, so try the name again.
        if (!SameFile(lock.get(), lockPath)) {
            if (++retries > kMaxNames)
                return Fail(error, lockPath, EAGAIN);
            --n;
            continue;
        }

        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                ::unlink(lockPath.c_str());
                continue;  // not ours to replace
            }
            ::unlink(path.c_str());  // left behind by a display that was killed
        }
        if (::symlink(line.c_str(), path.c_str()) != 0) {
            const int err = errno;
            ::unlink(lockPath.c_str());
            return Fail(error, path, err);
        }

        m_held = {std::move(lock), name, path, lockPath, line};
        return true;
    }
    return Refuse(error, folder + ": every name from " + std::string(base) + "0 to " + std::string(base)
                             + std::to_string(kMaxNames - 1) + " is taken");
}

void VirtualPortPublication::Remove() noexcept
{
    if (!m_held.lock.valid())
        return;
    if (ReadLink(m_held.path) == m_held.line)
        ::unlink(m_held.path.c_str());
    // Removed while still locked: whoever wins a lock on the removed file later sees that it
    // is gone and tries the name again.
    ::unlink(m_held.lockPath.c_str());
    m_held = {};
}

}  // namespace serial
