#include "tests/wine/serial_comm.h"

#include <windows.h>

#include "common/wide_text.h"
#include "serial/serial_comm_win32.h"

namespace wine_host {

using serial::win32::kSerialCommKey;
using serial::win32::OwnedKey;

bool NameSerialPort(const std::string& device, const std::string& port)
{
    HKEY created = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                          &created, nullptr)
        != ERROR_SUCCESS)
        return false;
    const OwnedKey key(created);
    const std::wstring name = wide_text::Widen(device);
    const std::wstring value = wide_text::Widen(port);
    const LSTATUS status =
        ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return status == ERROR_SUCCESS;
}

bool UnnameSerialPort(const std::string& device)
{
    const OwnedKey key = serial::win32::OpenMachineKey(kSerialCommKey, KEY_SET_VALUE);
    if (!key.valid())
        return true;
    const LSTATUS status = ::RegDeleteValueW(key.get(), wide_text::Widen(device).c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RemoveSerialPortList()
{
    const LSTATUS status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSerialCommKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace wine_host
