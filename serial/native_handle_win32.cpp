#include "serial/native_handle.h"

#include <windows.h>

namespace serial {

bool NativeHandleTraits::Close(Handle h) noexcept
{
    return ::CloseHandle(h) != FALSE;
}

}  // namespace serial
