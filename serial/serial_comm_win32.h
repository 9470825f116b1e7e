#pragma once
// The registry's list of serial ports, HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: every serial
// driver names its ports there, one value each (the driver's device, such as
// "\Device\Serial0", and the port, "COM1"). Private to the serial library, Windows only.

#include <windows.h>

#include <string>
#include <vector>

#include "common/owned.h"

namespace serial::win32 {

inline constexpr wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// An open registry key, owned.
struct KeyTraits {
    using Handle = HKEY;
    static Handle None() noexcept { return nullptr; }
    static bool Close(Handle key) noexcept { return ::RegCloseKey(key) == ERROR_SUCCESS; }
    static constexpr bool kKeptWhenRefused = false;
};
using OwnedKey = common::Owned<KeyTraits>;

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
