#pragma once
// The owner (common::Owned) of a Winsock socket, and Winsock's start. Windows only;
// private to the serial library's socket_win32.cpp.

#include <winsock2.h>

#include "common/owned.h"

namespace serial::win32 {

struct SocketTraits {
    using Handle = SOCKET;
    static Handle None() noexcept { return INVALID_SOCKET; }
    static bool Close(Handle socket) noexcept { return ::closesocket(socket) == 0; }
    // closesocket frees the socket even when it reports an error.
    static constexpr bool kKeptWhenRefused = false;
};
using OwnedSocket = common::Owned<SocketTraits>;

// Starts Winsock 2.2 once for the process, on the first call; false when it would not
// start (every later call says the same). It is never stopped: the process's end does.
bool StartWinsock() noexcept;

}  // namespace serial::win32
