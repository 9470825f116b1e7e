#include "serial/port_name.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "common/wide_text.h"
#include "serial/serial_port_backend.h"
#include "serial/virtual_port_win32.h"

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

namespace backend {

// A COM port opens by its device path; a virtual port's name by the pipe its running
// display published, looked up now.
std::string DevicePathForOpen(std::string_view name, const OpenOptions&, OpenFailure* failure)
{
    std::string path = WindowsDevicePath(name);
    if (!path.empty())
        return path;
    if (!win32::IsVirtualPortName(name)) {
        *failure = {OpenError::BadName, 0, {}};
        return {};
    }
    // No folder yet: no virtual display has run.
    const std::string folder = DefaultVirtualPortDir();
    if (folder.empty() || ::GetFileAttributesW(wide_text::Widen(folder).c_str()) == INVALID_FILE_ATTRIBUTES) {
        *failure = {OpenError::NoSuchPort, 0, "its virtual display is not running"};
        return {};
    }
    std::string reason;
    if (!win32::VirtualFolderTrusted(folder, &reason)) {
        *failure = {OpenError::BadName, 0, reason};
        return {};
    }
    path = win32::VirtualPortPipe(folder, std::string(name), &reason);
    if (path.empty())
        *failure = {OpenError::NoSuchPort, 0, reason};
    return path;
}

}  // namespace backend

}  // namespace serial
