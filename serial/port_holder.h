#pragma once
// Who holds a port that is in use, where the system says: a user told "in use by
// minicom (pid 4242)" knows what to close.

#include <optional>
#include <string>
#include <string_view>

namespace serial {

// The program holding the lock on the device, as "display-test (pid 4242)"; empty where
// the system does not say (no lock listed, or a platform that keeps no such list).
std::string PortHolder(const std::string& devicePath);

// The process holding a lock on the file with these device and inode numbers, among the
// lines of a lock list in the format of Linux's /proc/locks; nullopt when none does.
// Waiters ("->" lines) hold nothing; a lock without a process (pid -1) names none.
std::optional<long> LockHolderPid(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode);

}  // namespace serial
