#pragma once
// Several handles waited on as one: a handle that is signalled while any member has
// something to say, for an event loop that watches one handle per line (the display on
// the network watches its listening socket and its client). An epoll descriptor on POSIX
// (wait_set_posix.cpp), an event on Windows (wait_set_win32.cpp).

#include <memory>
#include <string>

#include "serial/native_handle.h"

namespace serial {

class WaitSet {
public:
    WaitSet() noexcept;
    ~WaitSet();
    WaitSet(WaitSet&& other) noexcept;
    WaitSet& operator=(WaitSet&& other) noexcept;

    // An empty set; an invalid one, with *error set to one line, when the OS has none to give.
    static WaitSet Make(std::string* error);

    bool Valid() const noexcept;
    // Watches member (a socket's EventHandle) until Remove; false, with *error set, when
    // it cannot. A member must be removed before it is closed.
    bool Add(NativeHandle member, std::string* error);
    void Remove(NativeHandle member) noexcept;

    // What to wait on: readable (POSIX) or set (Windows) while a member is.
    NativeHandle Handle() const noexcept;
    // Called once the members have been read until nothing waits: on Windows the set's
    // event is cleared and set again at once for a member still signalled; nothing on POSIX,
    // where the descriptor is readable exactly as long as a member is.
    void Rearm() noexcept;

    struct Held;  // one definition per platform

private:
    struct HeldDeleter {
        void operator()(Held* held) const noexcept;
    };
    std::unique_ptr<Held, HeldDeleter> m_held;
};

}  // namespace serial
