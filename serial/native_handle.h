#pragma once
// The OS handle of a line, a pipe or an event: a file descriptor on POSIX, a HANDLE on
// Windows, and its move-only owner. Closing is implemented once per platform.

#include "common/owned.h"

namespace serial {

#ifdef _WIN32
using NativeHandle = void*;                         // HANDLE
inline constexpr NativeHandle kNoHandle = nullptr;  // never INVALID_HANDLE_VALUE
// A HANDLE that Windows refused to close is still ours.
inline constexpr bool kHandleKeptWhenRefused = true;
#else
using NativeHandle = int;  // file descriptor
inline constexpr NativeHandle kNoHandle = -1;
// Linux frees the descriptor even when close fails, so it is never retried.
inline constexpr bool kHandleKeptWhenRefused = false;
#endif

struct NativeHandleTraits {
    using Handle = NativeHandle;
    static constexpr Handle None() noexcept { return kNoHandle; }
    static bool Close(Handle h) noexcept;
    static constexpr bool kKeptWhenRefused = kHandleKeptWhenRefused;
};

using OwnedHandle = common::Owned<NativeHandleTraits>;

}  // namespace serial
