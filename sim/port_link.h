#pragma once
// Publishes the virtual display's line in the virtual-port folder, where the panel and the
// sender list it: a symbolic link sim0 (sim1, sim2... while those are taken) to the
// device. Each name is held by a lock on a hidden file beside it (.sim0.lock), so a link
// left behind by a display that was killed is taken over by the next one, instead of
// leading a sender into some other program's terminal.

#include <string>
#include <string_view>

#include "serial/native_handle.h"

namespace sim {

class PortLink {
public:
    static constexpr int kMaxNames = 100;

    PortLink() = default;
    ~PortLink() { Remove(); }
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Links the first free name <base>N in folder to target. Creates the folder with mode
    // 0700 when missing, and refuses one that others may write to.
    bool Publish(const std::string& folder, const std::string& target, std::string* error,
                 std::string_view base = "sim");

    // Removes the link (when it still leads to the target) and gives the name up.
    void Remove() noexcept;

    const std::string& Name() const noexcept { return m_name; }  // "sim0"
    const std::string& Path() const noexcept { return m_path; }  // folder/sim0

private:
    serial::OwnedHandle m_lock;
    std::string m_name;
    std::string m_path;
    std::string m_lockPath;
    std::string m_target;
};

// Creates folder and its missing parents with mode 0700; false, with the reason, when it
// cannot, or when the folder is not one the panel would trust (serial::VirtualFolderTrusted).
bool EnsurePrivateFolder(const std::string& folder, std::string* error);

}  // namespace sim
