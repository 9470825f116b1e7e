#include "serial/native_handle.h"

#include <unistd.h>

namespace serial {

bool OwnedHandle::reset() noexcept
{
    if (!valid())
        return false;
    // Linux frees the descriptor even when close fails, so it is never retried.
    return ::close(release()) == 0;
}

}  // namespace serial
