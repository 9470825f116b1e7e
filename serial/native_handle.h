#pragma once
// A move-only owner of one OS handle of a serial port: a file descriptor on POSIX, a
// HANDLE on Windows. Closing is implemented once per platform.

#include <utility>

namespace serial {

#ifdef _WIN32
using NativeHandle = void*;  // HANDLE
inline constexpr NativeHandle kNoHandle = nullptr;  // never INVALID_HANDLE_VALUE
#else
using NativeHandle = int;  // file descriptor
inline constexpr NativeHandle kNoHandle = -1;
#endif

class OwnedHandle {
public:
    OwnedHandle() noexcept = default;
    explicit OwnedHandle(NativeHandle h) noexcept : m_h(h) {}
    OwnedHandle(OwnedHandle&& other) noexcept : m_h(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_h = other.release();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { reset(); }

    NativeHandle get() const noexcept { return m_h; }
    bool valid() const noexcept { return m_h != kNoHandle; }
    NativeHandle release() noexcept { return std::exchange(m_h, kNoHandle); }
    // Closes the handle; false when there was none or the OS refused (the handle is
    // given up either way on POSIX, where a failed close still frees the descriptor).
    bool reset() noexcept;

private:
    NativeHandle m_h = kNoHandle;
};

}  // namespace serial
