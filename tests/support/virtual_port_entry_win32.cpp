#include "tests/support/virtual_port_entry.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/wide_text.h"
#include "serial/virtual_port_win32.h"
#include "tests/support/win32_virtual_display.h"

namespace fs = std::filesystem;

namespace testing_support {

std::string MakeTempFolder()
{
    static std::atomic<unsigned> count{0};
    std::error_code ec;
    const fs::path folder =
        fs::temp_directory_path(ec)
        / ("display-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(count.fetch_add(1)));
    return !ec && fs::create_directory(folder, ec) ? wide_text::Narrow(folder.wstring()) : std::string();
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

std::string DisplayLinePath(int n)
{
    return std::string(serial::win32::kVirtualPipePrefix) + "1-0-" + std::to_string(70 + n);
}

std::string LineOf(const std::string& folder, const std::string& name)
{
    std::ifstream in(fs::u8path(InFolder(folder, name)), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool HeldByDisplay(const std::string& folder, const std::string& name)
{
    return !serial::win32::VirtualPortPipe(folder, name).empty();
}

bool LeftNothing(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    return !fs::exists(fs::u8path(InFolder(folder, name)), ec);
}

bool FolderPrivate(const std::string& folder)
{
    return serial::win32::VirtualFolderTrusted(folder);
}

bool LeaveAsKilled(const std::string& folder, const std::string& name, const std::string& line)
{
    return WriteUnlockedPortFile(folder, name, line);
}

}  // namespace testing_support
