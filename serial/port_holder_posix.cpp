#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "serial/port_holder.h"

namespace serial {

std::string PortHolder(const std::string& devicePath)
{
    // The lock a careful program takes on the device (flock, or fcntl as lock-file tools
    // do) is listed with the process that holds it; TIOCEXCL alone leaves no trace.
    struct stat st {};
    if (stat(devicePath.c_str(), &st) != 0)
        return {};
    std::ifstream locksFile("/proc/locks");
    std::ostringstream locks;
    locks << locksFile.rdbuf();
    const auto pid = LockHolderPid(locks.str(), major(st.st_dev), minor(st.st_dev), st.st_ino);
    if (!pid)
        return {};
    std::ifstream commFile("/proc/" + std::to_string(*pid) + "/comm");
    std::string name;
    std::getline(commFile, name);
    return (name.empty() ? std::string("a process") : name) + " (pid " + std::to_string(*pid) + ")";
}

}  // namespace serial
