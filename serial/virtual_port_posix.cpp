#include "serial/virtual_port.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

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
    const OwnedHandle file(::open(VirtualPortLockPath(folder, name).c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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
    std::set<std::string> names;
    for (std::string name; file >> name;)
        names.insert(name);
    return names;
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

}  // namespace serial
