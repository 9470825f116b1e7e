#include "serial/native_handle.h"

#include <unistd.h>

namespace serial {

bool NativeHandleTraits::Close(Handle h) noexcept
{
    return ::close(h) == 0;
}

}  // namespace serial
