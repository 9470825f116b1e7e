#include "serial/native_handle.h"

#include <windows.h>

namespace serial {

bool OwnedHandle::reset() noexcept
{
    if (!valid())
        return false;
    // A handle that Windows refused to close is still ours; keep it, so that a later
    // Close or the destructor can try again.
    if (!::CloseHandle(m_h))
        return false;
    m_h = kNoHandle;
    return true;
}

}  // namespace serial
