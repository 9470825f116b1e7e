#include "tests/wine/serial_comm.h"

#include <windows.h>

#include "common/wide_text.h"

namespace wine_host {

namespace {

constexpr wchar_t kKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

}  // namespace

bool NameSerialPort(const std::string& device, const std::string& port)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                          nullptr)
        != ERROR_SUCCESS)
        return false;
    const std::wstring name = wide_text::Widen(device);
    const std::wstring value = wide_text::Widen(port);
    const LSTATUS status = ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool UnnameSerialPort(const std::string& device)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return true;
    const LSTATUS status = ::RegDeleteValueW(key, wide_text::Widen(device).c_str());
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RemoveSerialPortList()
{
    const LSTATUS status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace wine_host
