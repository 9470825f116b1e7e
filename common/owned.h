#pragma once
// A move-only owner of one OS handle of any kind: a file descriptor, a Windows HANDLE, a
// registry key, a SetupAPI device list... Traits says what the handle is and how it goes:
//   using Handle = ...;
//   static Handle None() noexcept;           // the value that holds nothing
//   static bool Close(Handle h) noexcept;    // gives the handle back to the OS
//   static constexpr bool kKeptWhenRefused;  // a handle the OS refused to close is still ours
// One template for every kind, so that each is closed once, on every path.

#include <utility>

namespace common {

template <typename Traits>
class Owned {
public:
    using Handle = typename Traits::Handle;

    Owned() noexcept = default;
    explicit Owned(Handle h) noexcept : m_h(h) {}
    Owned(Owned&& other) noexcept : m_h(other.release()) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_h = other.release();
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Handle get() const noexcept { return m_h; }
    bool valid() const noexcept { return m_h != Traits::None(); }
    Handle release() noexcept { return std::exchange(m_h, Traits::None()); }
    // Closes the handle; false when there was none or the OS refused. A refused handle is
    // kept where Traits says it is still ours, so that a later reset or the destructor can
    // try again; else it is given up either way.
    bool reset() noexcept
    {
        if (!valid())
            return false;
        if (Traits::Close(m_h)) {
            m_h = Traits::None();
            return true;
        }
        if constexpr (!Traits::kKeptWhenRefused)
            m_h = Traits::None();
        return false;
    }

private:
    Handle m_h = Traits::None();
};

}  // namespace common
