#pragma once
// Tells when the set of serial ports may have changed: a device node came or went, a
// virtual display published or removed its port. The caller then lists the ports again.
// Linux follows the folders through inotify; a platform without such events has no
// descriptor, and its caller lists the ports again once a second instead.

#include <map>
#include <string>
#include <vector>

#include "serial/native_handle.h"

namespace serial {

class PortWatch {
public:
    // Watches these folders. One that does not exist yet (the virtual-port folder before
    // the first virtual display) is waited for through its nearest existing parent.
    explicit PortWatch(std::vector<std::string> dirs);
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Becomes readable when something changed; -1 where the platform has no such events.
    int EventDescriptor() const;

    // Takes what arrived and follows folders that were created or removed meanwhile.
    // True when anything arrived since the last call that may concern a port: from a
    // parent watched in place of a folder not made yet, only the news about that folder.
    bool TakeEvents();

    // The folders of this machine where serial ports appear: the device folder and the
    // virtual-port folder.
    static std::vector<std::string> MachineFolders();

private:
    void Arm();

    std::vector<std::string> m_dirs;
    OwnedHandle m_events;
    std::map<int, std::string> m_watched;  // the folder each watch stands for, by its number
};

}  // namespace serial
