#include "cli/platform.h"

#include <windows.h>
#include <shellapi.h>

#include "common/wide_text.h"

namespace cli {

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
        args.push_back(wide_text::Narrow(wide[i]));
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
