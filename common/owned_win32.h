#pragma once
// Owners (common::Owned) of the Windows API's other handles: memory the system allocated
// for the caller, and a search of a folder. Windows only.

#include <windows.h>

#include "common/owned.h"

namespace common {

// Memory the system gave with LocalAlloc (FormatMessage, CommandLineToArgvW...).
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle None() noexcept { return nullptr; }
    static bool Close(Handle memory) noexcept { return ::LocalFree(memory) == nullptr; }
    static constexpr bool kKeptWhenRefused = false;
};
using OwnedLocalMemory = Owned<LocalMemoryTraits>;

// A search begun by FindFirstFile.
struct SearchTraits {
    using Handle = HANDLE;
    static Handle None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle search) noexcept { return ::FindClose(search) != FALSE; }
    static constexpr bool kKeptWhenRefused = false;
};
using OwnedSearch = Owned<SearchTraits>;

}  // namespace common
