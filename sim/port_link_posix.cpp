#include "sim/port_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "serial/virtual_port.h"

namespace sim {

namespace {

bool Fail(std::string* error, const std::string& what, int err)
{
    if (error) *error = what + ": " + std::strerror(err);
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
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

}  // namespace

bool EnsurePrivateFolder(const std::string& folder, std::string* error)
{
    if (folder.empty() || folder.front() != '/') {
        if (error) *error = "no folder for virtual ports (" + folder + ")";
        return false;
    }
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return Fail(error, part, errno);
        if (slash == std::string::npos) break;
    }
    // The panel and the sender trust no port out of a folder that others could change:
    // publishing there would only make a port nobody sees.
    std::string why;
    if (!serial::VirtualFolderTrusted(folder, &why)) {
        if (error) *error = why + "; no virtual port is published there";
        return false;
    }
    return true;
}

bool PortLink::Publish(const std::string& folder, const std::string& target, std::string* error,
                       std::string_view base)
{
    Remove();
    if (!EnsurePrivateFolder(folder, error)) return false;

    int retries = 0;
    for (int n = 0; n < kMaxNames; ++n) {
        const std::string name = std::string(base) + std::to_string(n);
        const std::string path = folder + "/" + name;
        const std::string lockPath = serial::VirtualPortLockPath(folder, name);

        serial::OwnedHandle lock(
            ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
        // Something else in the lock file's place (a link, a folder, a FIFO) is not ours to
        // remove: it holds the name, as anything but a link in the name's own place does.
        struct stat lockStat {};
        if (!lock.valid() && (errno == ELOOP || errno == EISDIR || errno == ENXIO)) continue;
        if (!lock.valid()) return Fail(error, lockPath, errno);
        if (::fstat(lock.get(), &lockStat) != 0 || !S_ISREG(lockStat.st_mode)) continue;
        if (!serial::LockVirtualPort(lock.get())) {
            if (errno == EAGAIN || errno == EACCES) continue;  // a running display holds this name
            return Fail(error, lockPath, errno);
        }
        // Its last holder removes the lock file when it ends; a lock won on a file already
        // removed holds nothing, so try the name again.
        if (!SameFile(lock.get(), lockPath)) {
            if (++retries > kMaxNames) return Fail(error, lockPath, EAGAIN);
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
        if (::symlink(target.c_str(), path.c_str()) != 0) {
            const int err = errno;
            ::unlink(lockPath.c_str());
            return Fail(error, path, err);
        }

        m_lock = std::move(lock);
        m_name = name;
        m_path = path;
        m_lockPath = lockPath;
        m_target = target;
        return true;
    }
    if (error) *error = folder + ": every name from " + std::string(base) + "0 to " + std::string(base) +
                        std::to_string(kMaxNames - 1) + " is taken";
    return false;
}

void PortLink::Remove() noexcept
{
    if (!m_lock.valid()) return;
    if (ReadLink(m_path) == m_target) ::unlink(m_path.c_str());
    // Removed while still locked: whoever wins a lock on the removed file later sees that it
    // is gone and tries the name again.
    ::unlink(m_lockPath.c_str());
    m_lock.reset();
    m_name.clear();
    m_path.clear();
    m_lockPath.clear();
    m_target.clear();
}

}  // namespace sim
