#pragma once
// The registry's list of serial ports, HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: every serial
// driver names its ports there, one value each (the driver's device, such as
// "\Device\Serial0", and the port, "COM1"). Private to the serial library, Windows only.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace serial::win32 {

inline constexpr wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A move-only owner of an open registry key.
class OwnedKey {
public:
    OwnedKey() noexcept = default;
    explicit OwnedKey(HKEY key) noexcept : m_key(key) {}
    OwnedKey(OwnedKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    OwnedKey& operator=(OwnedKey&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_key = std::exchange(other.m_key, nullptr);
        }
        return *this;
    }
    OwnedKey(const OwnedKey&) = delete;
    OwnedKey& operator=(const OwnedKey&) = delete;
    ~OwnedKey() { reset(); }

    HKEY get() const noexcept { return m_key; }
    bool valid() const noexcept { return m_key != nullptr; }
    HKEY release() noexcept { return std::exchange(m_key, nullptr); }
    void reset() noexcept
    {
        if (m_key != nullptr)
            ::RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

// The key under HKEY_LOCAL_MACHINE, opened with these rights; invalid when it does not
// exist or may not be opened.
OwnedKey OpenMachineKey(const std::wstring& path, REGSAM rights);

struct RegisteredPort {
    std::string port;    // "COM23", as the list shows it
    std::string device;  // the driver's device, "\Device\Serial0"
};

// The COM ports that SERIALCOMM names, in the registry's order; none when the key does
// not exist (a machine with no serial driver loaded). Values that name no COM port are
// left out.
std::vector<RegisteredPort> RegisteredPorts();

}  // namespace serial::win32
