#pragma once
// Publishes the virtual display's line in the virtual-port folder, where the panel and the
// sender list it, as sim0 (sim1, sim2... while those are taken). On POSIX a symbolic link
// to the device; each name is held by a lock on a hidden file beside it (.sim0.lock), so a
// link left behind by a display that was killed is taken over by the next one, instead of
// leading a sender into some other program's terminal. On Windows a file that names the
// display's pipe, locked while the display runs (serial::win32::VirtualPortPublication).

#include <string>
#include <string_view>

#include "serial/native_handle.h"
#ifdef _WIN32
#include "serial/virtual_port_win32.h"
#endif

namespace sim {

class PortLink {
public:
    static constexpr int kMaxNames = 100;

    PortLink() = default;
    ~PortLink() { Remove(); }
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Links the first free name <base>N in folder to target (on Windows: the pipe's path).
    // Creates the folder, private to the user, when missing, and refuses one that others
    // may write to.
    bool Publish(const std::string& folder, const std::string& target, std::string* error,
                 std::string_view base = "sim");

    // Removes the link (when it still leads to the target) and gives the name up.
    void Remove() noexcept;

#ifndef _WIN32
    const std::string& Name() const noexcept { return m_name; }  // "sim0"
    const std::string& Path() const noexcept { return m_path; }  // folder/sim0

private:
    serial::OwnedHandle m_lock;
    std::string m_name;
    std::string m_path;
    std::string m_lockPath;
    std::string m_target;
#else
    const std::string& Name() const noexcept { return m_publication.Name(); }
    const std::string& Path() const noexcept { return m_publication.Path(); }

private:
    serial::win32::VirtualPortPublication m_publication;
#endif
};

#ifndef _WIN32
// Creates folder and its missing parents with mode 0700; false, with the reason, when it
// cannot, or when the folder is not one the panel would trust (serial::VirtualFolderTrusted).
bool EnsurePrivateFolder(const std::string& folder, std::string* error);
#endif

}  // namespace sim
