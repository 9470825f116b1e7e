// The installer under Wine, in a prefix made anew for the test: msiexec installs it
// silently, with the programs in Program Files\Vandry\Customer Display Test, the panel and
// the virtual display in the Start menu and the product in Apps & Features; the installed display-test.exe starts
// and opens COM5 (a pseudo-terminal of wine-port-host) at 2400 8N1; msiexec removes it
// silently, and nothing of it is left. The argument is the .msi, a Unix path of the build.

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "common/wide_text.h"
#include "tests/wine/display_test_exe.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/win32_process.h"

namespace {

using display_test_exe::kEndMs;
using display_test_exe::kPort;
using display_test_exe::kStartMs;
constexpr const wchar_t* kProduct = display_test_exe::kTitle;
// A bound for a hung installer, not a measurement.
constexpr DWORD kMsiexecMs = 180000;

std::string g_msi;

std::wstring Folder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring VendorDir()
{
    return Folder(CSIDL_PROGRAM_FILES) + L"\\Vandry";
}

std::wstring InstallDir()
{
    return VendorDir() + L"\\Customer Display Test";
}

// A program's entry in the Start menu of every user, where Windows puts it for a
// per-machine install, or in the user's own, where Wine does.
std::vector<std::wstring> MenuEntries(const std::wstring& title)
{
    const std::wstring name = L"\\" + title + L".lnk";
    return {Folder(CSIDL_COMMON_PROGRAMS) + name, Folder(CSIDL_PROGRAMS) + name};
}

// The Start-menu entries and the programs they start.
const struct {
    const wchar_t* title;
    const wchar_t* program;
} kMenu[] = {
    {L"Vandry Customer Display Test", L"display-test.exe"},
    {L"Vandry Virtual Customer Display", L"display-sim.exe"},
};

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a shortcut starts.
std::wstring ShortcutTarget(const std::wstring& link)
{
    std::wstring target;
    IShellLinkW* shell = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&shell))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) && SUCCEEDED(shell->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    shell->Release();
    return target;
}

// The version Apps & Features shows for the product, or empty when it is not listed.
std::wstring ListedVersion()
{
    HKEY uninstall = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_READ,
                        &uninstall)
        != ERROR_SUCCESS)
        return {};
    std::wstring version;
    wchar_t key[256];
    for (DWORD i = 0; version.empty(); ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(uninstall, i, key, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        wchar_t value[256] = {};
        DWORD size = sizeof value;
        if (::RegGetValueW(uninstall, key, L"DisplayName", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS
            || std::wstring(value) != kProduct)
            continue;
        size = sizeof value;
        if (::RegGetValueW(uninstall, key, L"DisplayVersion", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS)
            version = value;
    }
    ::RegCloseKey(uninstall);
    return version;
}

// msiexec with the action (/i or /x) on the package, without a window: its exit code.
DWORD Msiexec(const char* action)
{
    const std::string msiexec = wide_text::Narrow(Folder(CSIDL_SYSTEM) + L"\\msiexec.exe");
    const wine_host::Process run(msiexec, {action, wide_text::Narrow(wine_host::WindowsPath(g_msi)), "/qn"});
    if (!run.Started())
        return STILL_ACTIVE;
    const DWORD code = run.WaitForExit(kMsiexecMs);
    run.End(kEndMs);
    return code;
}

TEST(MsiInstall, InstallsStartsTheInstalledPanelAndUninstallsLeavingNothing)
{
    REQUIRE_PORT_HOST();
    ASSERT_FALSE(Exists(VendorDir())) << "the prefix is not new";

    ASSERT_EQ(Msiexec("/i"), 0u) << "msiexec /i " << g_msi << " /qn";
    for (const wchar_t* file :
         {L"display-test.exe", L"display-send.exe", L"display-sim.exe", L"README.md", L"LICENSE.txt",
          L"licenses\\vandry-display-test-1.0.0.2-source.zip", L"licenses\\Qt\\LGPL-3.0-only.txt"})
        EXPECT_TRUE(Exists(InstallDir() + L"\\" + file)) << wide_text::Narrow(file);
    for (const auto& [title, program] : kMenu) {
        std::wstring menuEntry;
        for (const std::wstring& entry : MenuEntries(title)) {
            if (Exists(entry))
                menuEntry = entry;
        }
        ASSERT_FALSE(menuEntry.empty()) << "no Start-menu entry " << wide_text::Narrow(title);
        EXPECT_EQ(::CompareStringOrdinal(ShortcutTarget(menuEntry).c_str(), -1,
                                         (InstallDir() + L"\\" + program).c_str(), -1, TRUE),
                  CSTR_EQUAL)
            << wide_text::Narrow(menuEntry) << " starts " << wide_text::Narrow(ShortcutTarget(menuEntry));
    }
    EXPECT_EQ(wide_text::Narrow(ListedVersion()), "1.0.0.2");

    {
        // The installed panel opens the only port there is, at 2400 baud, 8N1.
        const wine_host::Process panel(wide_text::Narrow(InstallDir() + L"\\display-test.exe"), {});
        ASSERT_TRUE(panel.Started());
        const auto line = wine_host::SettingsAtSpeed(kPort, 2400, kStartMs);
        ASSERT_TRUE(line.has_value()) << "the installed display-test.exe did not open COM5 at 2400 baud";
        EXPECT_EQ(line->inputSpeed, 2400);
        EXPECT_EQ(line->dataBits, 8);
        EXPECT_FALSE(line->parity);
        EXPECT_FALSE(line->twoStopBits);
        panel.End(kEndMs);
    }

    ASSERT_EQ(Msiexec("/x"), 0u) << "msiexec /x " << g_msi << " /qn";
    EXPECT_FALSE(Exists(VendorDir())) << "Program Files\\Vandry is left";
    for (const auto& menu : kMenu) {
        for (const std::wstring& entry : MenuEntries(menu.title))
            EXPECT_FALSE(Exists(entry)) << wide_text::Narrow(entry) << " is left";
    }
    EXPECT_EQ(wide_text::Narrow(ListedVersion()), "");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        g_msi = argv[1];
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
