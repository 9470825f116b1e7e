#include "serial/port_holder.h"

#include <cstdio>
#include <sstream>

namespace serial {

std::optional<long> LockHolderPid(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode)
{
    // "1: FLOCK  ADVISORY  WRITE 4242 00:19:3 0 EOF": the device numbers in hex, the inode
    // in decimal.
    std::istringstream lines{std::string(procLocks)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, file;
        long pid = 0;
        if (!(fields >> number >> kind) || kind == "->")
            continue;
        if (!(fields >> mode >> access >> pid >> file) || pid <= 0)
            continue;
        unsigned fileMajor = 0, fileMinor = 0;
        unsigned long fileInode = 0;
        char tail = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%lu%c", &fileMajor, &fileMinor, &fileInode, &tail) == 3
            && fileMajor == major && fileMinor == minor && fileInode == inode)
            return pid;
    }
    return std::nullopt;
}

}  // namespace serial
