#pragma once
// Tells when the set of serial ports may have changed: a device node came or went, a
// virtual display published or removed its port. The caller then lists the ports again.
// Linux follows the folders through inotify; Windows follows its registry's list of
// serial ports (a "folder" under HARDWARE\ is a registry key) and the virtual-port folder.
// Where no such events can be had, there is no handle, and the caller lists the ports
// again once a second instead.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "serial/native_handle.h"

namespace serial {

class PortWatch {
public:
    // Watches these folders (Windows: those under HARDWARE\ are keys under
    // HKEY_LOCAL_MACHINE, the others folders of the disk). One that does not
    // exist yet (the virtual-port folder before the first virtual display, SERIALCOMM
    // before the first serial driver) is waited for through its nearest existing parent.
    explicit PortWatch(std::vector<std::string> dirs);
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Signalled when something changed: the inotify descriptor becomes readable, or an
    // event that Windows sets; kNoHandle where there is none.
    NativeHandle EventHandle() const;
    // Every handle that is set by a change, EventHandle's first: POSIX has the one
    // descriptor; Windows one event for the registry's keys and one for each folder. They
    // stay the same for the life of the watch. None where there is no handle.
    std::vector<NativeHandle> EventHandles() const;

    // Takes what arrived and follows folders that were created or removed meanwhile.
    // True when anything arrived since the last call that may concern a port: from a
    // parent watched in place of a folder not made yet, only the news about that folder.
    bool TakeEvents();

    // The folders of this machine where serial ports appear: the device folder (Windows:
    // the registry's SERIALCOMM key) and the virtual-port folder.
    static std::vector<std::string> MachineFolders();

private:
    void Arm();

    std::vector<std::string> m_dirs;
    OwnedHandle m_events;
    std::map<int, std::string> m_watched;  // POSIX: the folder each watch stands for, by its number
    // Windows: the registry keys, which stay open while they are watched.
    struct WatchedKeys;
    std::shared_ptr<WatchedKeys> m_keys;
    // Windows: each folder's reads of its changes, ended before m_events goes.
    struct FolderWatch;
    std::vector<std::shared_ptr<FolderWatch>> m_folders;
};

}  // namespace serial
