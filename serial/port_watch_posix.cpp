#include "serial/port_watch.h"

#include <array>
#include <cerrno>
#include <cstring>

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

// Whether an event of the folder at `watched` may concern the folder `dir` awaited below
// or in it: anything in the folder itself; in an ancestor, only news about the next
// folder on the way (a parent such as /tmp may change many times a second).
bool Concerns(const std::string& watched, const std::string& name, const std::string& dir)
{
    if (watched == dir)
        return true;
    const std::string prefix = watched == "/" ? watched : watched + "/";
    if (dir.compare(0, prefix.size(), prefix) != 0)
        return false;
    if (name.empty())
        return true;  // the ancestor itself went or moved
    const std::string rest = dir.substr(prefix.size());
    return rest.substr(0, rest.find('/')) == name;
}

}  // namespace

PortWatch::PortWatch(std::vector<std::string> dirs)
    : m_dirs(std::move(dirs)), m_events(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    Arm();
}

NativeHandle PortWatch::EventHandle() const
{
    return m_events.get();
}

std::vector<NativeHandle> PortWatch::EventHandles() const
{
    if (!m_events.valid())
        return {};
    return {m_events.get()};
}

void PortWatch::Arm()
{
    if (!m_events.valid())
        return;
    // Adding a folder that is watched already only renews its mask, so this is done again
    // after every event that concerns one: a folder that appeared is then watched itself,
    // and the parent that stood in for it is let go.
    std::map<int, std::string> watched;
    for (const std::string& dir : m_dirs) {
        for (std::string path = dir; !path.empty(); path = ParentOf(path)) {
            const int wd = ::inotify_add_watch(m_events.get(), path.c_str(), kFolderEvents | IN_ONLYDIR);
            if (wd >= 0) {
                watched[wd] = path;
                break;
            }
            if (path == "/" || (errno != ENOENT && errno != ENOTDIR))
                break;
        }
    }
    for (const auto& [wd, path] : m_watched) {
        if (watched.count(wd) == 0)
            ::inotify_rm_watch(m_events.get(), wd);
    }
    m_watched = std::move(watched);
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
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                inotify_event event;
                std::memcpy(&event, buffer.data() + at, sizeof event);
                // The name follows the fixed part, padded with NULs.
                const char* text = buffer.data() + at + sizeof event;
                const std::string name(text, ::strnlen(text, event.len));
                at += static_cast<ssize_t>(sizeof event + event.len);
                // A full queue lost events: anything may have changed.
                bool concerns = (event.mask & IN_Q_OVERFLOW) != 0;
                if (const auto watched = m_watched.find(event.wd); watched != m_watched.end()) {
                    for (const std::string& dir : m_dirs)
                        concerns = concerns || Concerns(watched->second, name, dir);
                }
                any = any || concerns;
            }
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
