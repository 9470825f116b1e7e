#pragma once
// A virtual display's line published in the virtual-port folder, where the panel and the
// sender list it, as sim0 (sim1, sim2... while those are taken). The name is held by a
// lock for as long as the display runs; the lock ends with its process, however it ends,
// so a name a killed display left is taken over by the next one instead of leading a
// sender into some other program's line. On POSIX the name is a symbolic link to the
// pseudo-terminal, locked through a hidden file beside it (.sim0.lock;
// virtual_port_posix.h); on Windows a file whose text is the pipe's path, locked itself
// (virtual_port_win32.h). One file per platform implements it.

#include <string>
#include <string_view>

#include "serial/native_handle.h"

namespace serial {

class VirtualPortPublication {
public:
    static constexpr int kMaxNames = 100;

    VirtualPortPublication() = default;
    ~VirtualPortPublication() { Remove(); }
    VirtualPortPublication(const VirtualPortPublication&) = delete;
    VirtualPortPublication& operator=(const VirtualPortPublication&) = delete;

    // Publishes line (DisplayLine::DevicePath) under the first free name <base>N in
    // folder. Creates the folder and its missing parents, private to the user, and refuses
    // one the panel would not trust (VirtualFolderTrusted). False, with a one-line reason,
    // when the folder is not trusted or every name is taken.
    bool Publish(const std::string& folder, const std::string& line, std::string* error, std::string_view base = "sim");

    // Removes the name (on POSIX only while the link still leads to the line) and gives
    // it up.
    void Remove() noexcept;

    const std::string& Name() const noexcept { return m_held.name; }  // "sim0"
    const std::string& Path() const noexcept { return m_held.path; }  // folder/sim0

private:
    struct Held {
        OwnedHandle lock;  // open and locked while published: the lock file, or the file itself
        std::string name;
        std::string path;
        std::string lockPath;  // the file lock holds
        std::string line;
    };
    Held m_held;
};

}  // namespace serial
