#pragma once
// What a running virtual display holds on its name: an open-file lock on the whole of
// <folder>/.<name>.lock. Taken here as a display takes it, not through the code under test.

#include <fcntl.h>

#include <string>

#include "serial/native_handle.h"

namespace testing_support {

// The lock file opened (created when missing) and, when held, locked; invalid when either
// failed. A name whose display is gone has the file but no lock.
inline serial::OwnedHandle HoldDisplayLock(const std::string& lockFile, bool held = true)
{
    serial::OwnedHandle fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (!held || (fd.valid() && ::fcntl(fd.get(), F_OFD_SETLK, &whole) != 0))
        fd.reset();
    return fd;
}

}  // namespace testing_support
