#include "serial/port_watch.h"

#include <array>
#include <cerrno>

#include <sys/inotify.h>
#include <unistd.h>

#include "serial/port_name.h"

namespace serial {

namespace {

// A node created, removed or renamed, and a change of owner or mode (udev gives a new
// adapter its group a moment after the kernel made it). Not IN_MODIFY: every write to
// any terminal in /dev would wake us.
constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

std::string ParentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

}  // namespace

PortWatch::PortWatch(std::vector<std::string> dirs)
    : m_dirs(std::move(dirs))
    , m_events(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    Arm();
}

int PortWatch::EventDescriptor() const
{
    return m_events.get();
}

NativeHandle PortWatch::EventHandle() const
{
    return m_events.get();
}

void PortWatch::Arm()
{
    if (!m_events.valid())
        return;
    // Adding a folder that is watched already only renews its mask, so this is done again
    // after every event: a folder that appeared is then watched itself.
    for (const std::string& dir : m_dirs) {
        for (std::string path = dir; !path.empty(); path = ParentOf(path)) {
            if (::inotify_add_watch(m_events.get(), path.c_str(), kFolderEvents | IN_ONLYDIR) >= 0)
                break;
            if (path == "/" || (errno != ENOENT && errno != ENOTDIR))
                break;
        }
    }
}

bool PortWatch::TakeEvents()
{
    if (!m_events.valid())
        return false;
    bool any = false;
    alignas(inotify_event) std::array<char, 4096> buffer;
    for (;;) {
        const ssize_t n = ::read(m_events.get(), buffer.data(), buffer.size());
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EAGAIN: all taken
    }
    if (any)
        Arm();
    return any;
}

std::vector<std::string> PortWatch::MachineFolders()
{
    return {"/dev", DefaultVirtualPortDir()};
}

}  // namespace serial
