// The virtual-port folder on Windows under Wine: files published, locked and looked at in
// a folder of the test's own.

#include "serial/virtual_port_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/wide_text.h"
#include "tests/support/win32_virtual_display.h"

namespace {

using Names = std::vector<std::string>;
using serial::win32::LiveVirtualPorts;
using serial::win32::VirtualPortPipe;
using serial::win32::VirtualPortPublication;

const std::string kPipeA = R"(\\.\pipe\vandry-display-test-1-0-77)";
const std::string kPipeB = R"(\\.\pipe\vandry-display-test-1-1-78)";

std::string FileText(const std::string& path)
{
    HANDLE file = ::CreateFileW(wide_text::Widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<none>";
    char text[600] = {};
    DWORD got = 0;
    ::ReadFile(file, text, sizeof(text), &got, nullptr);
    ::CloseHandle(file);
    return std::string(text, got);
}

TEST(VirtualPortNames, OnlyOurPipesAndPlainNames)
{
    const struct {
        const char* name;
        bool port;
    } names[] = {
        {"sim0", true},   {"Sim12", true},  {"x", true},       {"COM3", false}, {"com12", false}, {"LPT1", false},
        {"NUL", false},   {"con", false},   {"COMX", true},    {"", false},     {"..", false},    {"..\\x", false},
        {"sim 0", false}, {"sim0.", false}, {"a/b", false},    {"显示", false},
        {"abcdefghijklmnopqrstuvwxyz012345", true},  // 32
        {"abcdefghijklmnopqrstuvwxyz0123456", false},
    };
    for (const auto& n : names)
        EXPECT_EQ(serial::win32::IsVirtualPortName(n.name), n.port) << n.name;

    const struct {
        std::string path;
        bool ours;
    } pipes[] = {
        {kPipeA, true},
        {R"(\\.\pipe\vandry-display-test-)", false},
        {R"(\\.\pipe\vandry-display-test-a\b)", false},
        {R"(\\.\pipe\vandry-display-test-..)", false},
        {R"(\\.\pipe\other-1)", false},
        {R"(\\.\COM5)", false},
        {R"(\\server\pipe\vandry-display-test-1)", false},
        {R"(\\.\pipe\vandry-display-test-)" + std::string(80, '7'), true},
        {R"(\\.\pipe\vandry-display-test-)" + std::string(81, '7'), false},
    };
    for (const auto& p : pipes)
        EXPECT_EQ(serial::win32::IsVirtualPipePath(p.path), p.ours) << p.path;

    const std::string made = serial::win32::NewVirtualPipePath();
    EXPECT_TRUE(serial::win32::IsVirtualPipePath(made)) << made;
    EXPECT_NE(serial::win32::NewVirtualPipePath(), made);
}

TEST(VirtualPortFolder, PublishedWhileHeldGoneWhenRemoved)
{
    testing_support::Win32TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    // Not there yet: made with its parents.
    const std::string folder = temp.path() + R"(\Vandry\display-test\ports)";
    EXPECT_EQ(LiveVirtualPorts(folder), Names{});

    std::string error;
    VirtualPortPublication first;
    ASSERT_TRUE(first.Publish(folder, kPipeA, &error)) << error;
    EXPECT_EQ(first.Name(), "sim0");
    EXPECT_EQ(first.Path(), folder + R"(\sim0)");
    EXPECT_EQ(FileText(first.Path()), kPipeA);
    EXPECT_TRUE(serial::win32::VirtualFolderTrusted(folder, &error)) << error;

    VirtualPortPublication second;
    ASSERT_TRUE(second.Publish(folder + "\\", kPipeB, &error)) << error;
    EXPECT_EQ(second.Name(), "sim1");
    EXPECT_EQ(LiveVirtualPorts(folder), (Names{"sim0", "sim1"}));
    EXPECT_EQ(VirtualPortPipe(folder, "sim1"), kPipeB);

    first.Remove();
    EXPECT_EQ(FileText(folder + R"(\sim0)"), "<none>");
    EXPECT_EQ(LiveVirtualPorts(folder), Names{"sim1"});
    EXPECT_EQ(VirtualPortPipe(folder, "sim0", &error), "");
    EXPECT_EQ(error, "no virtual display publishes sim0");

    // The freed name is the next display's.
    VirtualPortPublication third;
    ASSERT_TRUE(third.Publish(folder, kPipeA, &error)) << error;
    EXPECT_EQ(third.Name(), "sim0");
    EXPECT_EQ(LiveVirtualPorts(folder), (Names{"sim0", "sim1"}));
}

TEST(VirtualPortFolder, AKilledDisplaysFileIsNotFollowedAndItsNameIsTakenOver)
{
    testing_support::Win32TempFolder temp;
    const std::string folder = temp.path();
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(testing_support::WriteUnlockedPortFile(folder, "sim0", kPipeA));
    EXPECT_EQ(LiveVirtualPorts(folder), Names{});
    std::string reason;
    EXPECT_EQ(VirtualPortPipe(folder, "sim0", &reason), "");
    EXPECT_EQ(reason, "the virtual display of sim0 has ended");

    VirtualPortPublication display;
    ASSERT_TRUE(display.Publish(folder, kPipeB, &reason)) << reason;
    EXPECT_EQ(display.Name(), "sim0");
    EXPECT_EQ(FileText(display.Path()), kPipeB);
    EXPECT_EQ(VirtualPortPipe(folder, "sim0"), kPipeB);
}

// A held file whose text is not a display's pipe, however it came there, leads nowhere.
TEST(VirtualPortFolder, AFileNamingAnythingElseIsNotFollowed)
{
    testing_support::Win32TempFolder temp;
    const std::string folder = temp.path();
    ASSERT_FALSE(folder.empty());
    for (const std::string& text : std::vector<std::string>{R"(\\.\COM5)", R"(\\.\pipe\other)", R"(C:\windows\win.ini)",
                                   kPipeA + "\\..\\x", std::string(600, 'x'), std::string()}) {
        VirtualPortPublication display;
        std::string error;
        ASSERT_TRUE(display.Publish(folder, kPipeA, &error)) << error;
        HANDLE file = ::CreateFileW(wide_text::Widen(display.Path()).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                                    0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
        EXPECT_EQ(LiveVirtualPorts(folder), Names{}) << text;
        std::string reason;
        EXPECT_EQ(VirtualPortPipe(folder, "sim0", &reason), "") << text;
        EXPECT_EQ(reason, display.Path() + ": does not name a virtual display's pipe");
    }
}

TEST(VirtualPortFolder, UntrustedFoldersAreRefused)
{
    testing_support::Win32TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    ASSERT_TRUE(testing_support::WriteUnlockedPortFile(temp.path(), "plain", "x"));
    std::string reason;
    EXPECT_FALSE(serial::win32::VirtualFolderTrusted(temp.path() + R"(\plain)", &reason));
    EXPECT_EQ(reason, temp.path() + R"(\plain: not a folder)");
    EXPECT_FALSE(serial::win32::VirtualFolderTrusted("ports", &reason));
    EXPECT_FALSE(serial::win32::VirtualFolderTrusted("", &reason));
    VirtualPortPublication display;
    EXPECT_FALSE(display.Publish(temp.path() + R"(\plain\ports)", kPipeA, &reason));
    EXPECT_FALSE(display.Publish(temp.path(), R"(\\.\COM5)", &reason));
    EXPECT_EQ(display.Name(), "");
    // Names beyond the plain ones are refused rather than written.
    EXPECT_FALSE(display.Publish(temp.path(), kPipeA, &reason, "COM"));
}

}  // namespace
