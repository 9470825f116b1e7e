#include "serial/port_name.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "common/wide_text.h"

namespace serial {

namespace {

constexpr wchar_t kLocalAppData[] = L"LOCALAPPDATA";
constexpr char kVirtualPortSubdir[] = R"(\Vandry\display-test\ports)";

// The user's local application data: the variable Windows sets for every process (a test
// may point it elsewhere), else the folder the shell knows.
std::string LocalAppData()
{
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(kLocalAppData, value, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH)
        return wide_text::Narrow(std::wstring_view(value, length));
    wchar_t* known = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)) && known != nullptr)
        folder = wide_text::Narrow(known);
    ::CoTaskMemFree(known);
    return folder;
}

}  // namespace

// Windows has no pseudo-terminals: a virtual display listens on a named pipe and publishes
// it as a file in a folder of the user's own (serial/virtual_port_win32.h).
std::string DefaultVirtualPortDir()
{
    std::string base = LocalAppData();
    while (!base.empty() && (base.back() == '\\' || base.back() == '/'))
        base.pop_back();
    return base.empty() ? std::string() : base + kVirtualPortSubdir;
}

std::string PortDevicePath(std::string_view entry)
{
    return WindowsDevicePath(entry);
}

}  // namespace serial
