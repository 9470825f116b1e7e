// The Windows resources of display-test (resources/display_test.rc) and display-sim
// (sim/display_sim.rc): the program icon 128 in every size, and the version record
// 1.0.0.2. In the program given as the first argument (display-test.exe, display-sim.exe,
// whose file name the second argument gives), else in this program, which links
// display-test's.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/win32_process.h"

namespace {

constexpr int kMainIcon = 128;  // IDR_MAINFRAME
const WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

std::wstring g_program;                         // the program checked; empty: this one
std::wstring g_fileName = L"display-test.exe";  // its OriginalFilename

std::wstring ProgramPath()
{
    if (!g_program.empty())
        return g_program;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return {};
    return path;
}

// The program's resources, loaded as data: nothing of it runs.
HMODULE ProgramResources()
{
    if (g_program.empty())
        return GetModuleHandleW(nullptr);
    return LoadLibraryExW(g_program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

std::vector<unsigned char> OwnVersionRecord()
{
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<unsigned char> record(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, record.data()))
        return {};
    return record;
}

std::wstring VersionText(std::vector<unsigned char>& record, const wchar_t* name)
{
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record.data(), key.c_str(), &value, &length) || length == 0)
        return {};
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

TEST(AppResourcesWin32, VersionIs1002)
{
    std::vector<unsigned char> record = OwnVersionRecord();
    ASSERT_FALSE(record.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(2, 0));  // .0.2
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(2, 0));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(VersionText(record, L"FileVersion"), L"1, 0, 0, 2");
    EXPECT_EQ(VersionText(record, L"ProductVersion"), L"1, 0, 0, 2");
    EXPECT_EQ(VersionText(record, L"ProductName"), L"Vandry Customer Display Test");
    EXPECT_EQ(VersionText(record, L"OriginalFilename"), g_fileName);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], kChinesePrc);
    EXPECT_EQ(translation[1], 1200);  // Unicode
}

TEST(AppResourcesWin32, ProgramIconInEverySizeAndInChinese)
{
    const HMODULE self = ProgramResources();
    ASSERT_NE(self, nullptr);
    EXPECT_NE(FindResourceExW(self, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEW(kMainIcon), kChinesePrc),
              nullptr);
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        HANDLE icon = LoadImageW(self, MAKEINTRESOURCEW(kMainIcon), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);  // a picture of its own, not a scaled one
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(static_cast<HICON>(icon));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        g_program = wine_host::WindowsPath(argv[1]);
    if (argc > 2)
        g_fileName = wine_host::WindowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
