#include "serial/serial_comm_win32.h"

#include "common/wide_text.h"
#include "serial/port_name.h"

namespace serial::win32 {

OwnedKey OpenMachineKey(const std::wstring& path, REGSAM rights)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, rights, &key) != ERROR_SUCCESS)
        return {};
    return OwnedKey(key);
}

std::vector<RegisteredPort> RegisteredPorts()
{
    std::vector<RegisteredPort> ports;
    const OwnedKey key = OpenMachineKey(kSerialCommKey, KEY_QUERY_VALUE);
    if (!key.valid())
        return ports;
    DWORD count = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                           &longestData, nullptr, nullptr)
        != ERROR_SUCCESS)
        return ports;
    std::wstring name(longestName + 1, L'\0');
    // In bytes, with room for a terminating NUL the value may lack.
    std::wstring data(longestData / sizeof(wchar_t) + 2, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataBytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key.get(), i, name.data(), &nameLength, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        // A value added meanwhile may be longer than the lengths read above: the next
        // change notice lists the ports again.
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        std::wstring_view value(data.data(), dataBytes / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0')
            value.remove_suffix(1);
        const std::string port = ComPortEntry(wide_text::Narrow(value));
        if (!port.empty())
            ports.push_back({port, wide_text::Narrow(std::wstring_view(name.data(), nameLength))});
    }
    return ports;
}

}  // namespace serial::win32
