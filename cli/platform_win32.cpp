#include "cli/platform.h"

#include <windows.h>
#include <shellapi.h>

namespace cli {

namespace {

std::string ToUtf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int, char**)
{
    // argv holds the ANSI code page, which loses what it cannot hold before we see it;
    // the wide command line keeps every character.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(ToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

// Windows has no group to join for a COM port; "access denied" means another program.
std::string PermissionHint(const std::string&)
{
    return {};
}

// A console is no COM port: the port names COM1 to COM16 cannot reach one.
bool IsOwnTerminal(const std::string&)
{
    return false;
}

}  // namespace cli
