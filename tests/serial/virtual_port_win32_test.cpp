// The virtual-port folder on Windows under Wine: files published, locked and looked at in
// a folder of the test's own.

#include "serial/virtual_port_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "common/wide_text.h"
#include "serial/port_description.h"
#include "serial/port_discovery.h"
#include "serial/port_name.h"
#include "serial/port_watch.h"
#include "serial/serial_port.h"
#include "serial/virtual_port.h"
#include "tests/support/win32_virtual_display.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/win32_process.h"

namespace {

using Names = std::vector<std::string>;
using serial::VirtualPortPublication;
using serial::win32::LiveVirtualPorts;
using serial::win32::VirtualPortPipe;

const std::string kPipeA = R"(\\.\pipe\vandry-display-test-1-0-77)";
const std::string kPipeB = R"(\\.\pipe\vandry-display-test-1-1-78)";

std::string FileText(const std::string& path)
{
    HANDLE file =
        ::CreateFileW(wide_text::Widen(path).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
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
        {"sim0", true},
        {"Sim12", true},
        {"x", true},
        {"COM3", false},
        {"com12", false},
        {"LPT1", false},
        {"NUL", false},
        {"con", false},
        {"COMX", true},
        {"", false},
        {"..", false},
        {"..\\x", false},
        {"sim 0", false},
        {"sim0.", false},
        {"a/b", false},
        {"显示", false},
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

// What the panel and the sender list and open: the names running displays hold, in order,
// and none that a display gave up or left when it was killed. (The names a display takes:
// virtual_port_test.)
TEST(VirtualPortFolder, ListsTheNamesRunningDisplaysHold)
{
    testing_support::Win32TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    const std::string folder = temp.path() + R"(\ports)";
    EXPECT_EQ(LiveVirtualPorts(folder), Names{});  // not there yet

    std::string error;
    VirtualPortPublication first, second;
    ASSERT_TRUE(first.Publish(folder, kPipeA, &error)) << error;
    ASSERT_TRUE(second.Publish(folder + "\\", kPipeB, &error)) << error;
    EXPECT_EQ(second.Path(), folder + R"(\sim1)");
    EXPECT_EQ(FileText(second.Path()), kPipeB);
    EXPECT_EQ(LiveVirtualPorts(folder), (Names{"sim0", "sim1"}));
    EXPECT_EQ(VirtualPortPipe(folder, "sim1"), kPipeB);

    first.Remove();
    EXPECT_EQ(LiveVirtualPorts(folder), Names{"sim1"});
    EXPECT_EQ(VirtualPortPipe(folder, "sim0", &error), "");
    EXPECT_EQ(error, "its virtual display is not running");

    ASSERT_TRUE(testing_support::WriteUnlockedPortFile(folder, "sim0", kPipeA));
    EXPECT_EQ(LiveVirtualPorts(folder), Names{"sim1"});
    error.clear();
    EXPECT_EQ(VirtualPortPipe(folder, "sim0", &error), "");
    EXPECT_EQ(error, "its virtual display is not running");
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

// Nothing is trusted or published in a folder that is no folder of ours, nor a line that
// is no display's pipe, nor a name beyond the plain ones. (Relative folders:
// virtual_port_test.)
TEST(VirtualPortFolder, UntrustedFoldersAreRefused)
{
    testing_support::Win32TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    ASSERT_TRUE(testing_support::WriteUnlockedPortFile(temp.path(), "plain", "x"));
    const std::string plain = temp.path() + R"(\plain)";
    std::string reason;
    EXPECT_FALSE(serial::win32::VirtualFolderTrusted(plain, &reason));
    EXPECT_EQ(reason, plain + ": not a folder");
    EXPECT_FALSE(serial::win32::VirtualFolderTrusted("ports", &reason));
    EXPECT_FALSE(serial::win32::VirtualFolderTrusted("", &reason));

    const struct {
        std::string folder;
        std::string pipe;
        const char* base;
        std::string reason;  // how it begins
    } refused[] = {
        {plain + R"(\ports)", kPipeA, "sim", plain},
        {temp.path(), R"(\\.\COM5)", "sim", R"(not a virtual display's pipe: \\.\COM5)"},
        {temp.path(), kPipeA, "COM", "not a virtual port's name: COM0"},
    };
    for (const auto& r : refused) {
        VirtualPortPublication display;
        EXPECT_FALSE(display.Publish(r.folder, r.pipe, &reason, r.base)) << r.folder << " " << r.pipe;
        EXPECT_EQ(reason.rfind(r.reason, 0), 0u) << reason;
        EXPECT_EQ(display.Name(), "");
    }
}

// A virtual display as the serial library meets it: the user's folder points to a folder
// of the test's own, where the test publishes its own pipe.
class VirtualDisplayWin32 : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.path().empty());
        ::GetEnvironmentVariableW(L"LOCALAPPDATA", m_saved, MAX_PATH + 1);
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", wide_text::Widen(m_temp.path()).c_str());
        m_folder = serial::DefaultVirtualPortDir();
        ASSERT_EQ(m_folder, m_temp.path() + R"(\Vandry\display-test\ports)");
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"LOCALAPPDATA", m_saved); }

    // The test's display, listening on its pipe, published as sim0.
    void Publish()
    {
        std::string error;
        ASSERT_TRUE(m_server.valid());
        ASSERT_TRUE(m_display.Publish(m_folder, m_pipe, &error)) << error;
        ASSERT_EQ(m_display.Name(), "sim0");
    }

    testing_support::Win32TempFolder m_temp;
    wchar_t m_saved[MAX_PATH + 1] = {};
    std::string m_folder;
    std::string m_pipe = serial::win32::NewVirtualPipePath();
    testing_support::PipeServer m_server{m_pipe};
    VirtualPortPublication m_display;
};

std::uint32_t WriteText(serial::CSerialPort& port, const std::string& bytes)
{
    return port.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
}

TEST_F(VirtualDisplayWin32, ListedFirstAndDescribed)
{
    REQUIRE_PORT_HOST();  // COM5, COM7 and COM12 are the port host's
    EXPECT_EQ(serial::DiscoverPorts(), (Names{"COM5", "COM7", "COM12"}));
    Publish();
    // "COM5" sorts before "sim0"; the virtual display is listed first all the same.
    EXPECT_EQ(serial::DiscoverPorts(), (Names{"sim0", "COM5", "COM7", "COM12"}));
    EXPECT_EQ(serial::ListedPorts(), Names{"sim0"});
    EXPECT_EQ(serial::DescribePort("sim0"), "virtual display");
    serial::DiscoveryRoots elsewhere;
    elsewhere.virtualDir = m_temp.path();
    EXPECT_EQ(serial::DiscoverPorts(elsewhere), (Names{"COM5", "COM7", "COM12"}));

    m_display.Remove();
    EXPECT_EQ(serial::DiscoverPorts(), (Names{"COM5", "COM7", "COM12"}));
    EXPECT_EQ(serial::DescribePort("sim0"), "serial port");
}

TEST_F(VirtualDisplayWin32, OpensThePipeWritesTheBytesAndRefusesASecondProgram)
{
    Publish();

    serial::CSerialPort port;
    ASSERT_TRUE(port.Open("sim0", 9600)) << serial::DescribeOpenFailure(port.LastOpenFailure(), 9600);
    ASSERT_TRUE(m_server.Accept());
    // ESC Q A, the digits, CR: written out by hand.
    const std::string bytes = "\x1b"
                              "QA12.50\r";
    EXPECT_EQ(WriteText(port, bytes), 0u);
    EXPECT_EQ(m_server.Read(bytes.size()), bytes);

    serial::CSerialPort second;
    EXPECT_FALSE(second.Open("sim0", 9600));
    EXPECT_EQ(second.LastOpenFailure().kind, serial::OpenError::InUse);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(port.Close());
}

// No folder yet, no file, no plain name: nothing is opened. (A killed display's file:
// display-send's tests.)
TEST_F(VirtualDisplayWin32, NamesWithoutARunningDisplayAreNotOpened)
{
    serial::CSerialPort port;
    const struct {
        const char* name;
        serial::OpenError kind;
    } refused[] = {
        {"sim0", serial::OpenError::NoSuchPort},  {"COM0", serial::OpenError::BadName},
        {"..\\sim0", serial::OpenError::BadName}, {"NUL", serial::OpenError::BadName},
        {"", serial::OpenError::BadName},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(port.Open(r.name, 2400)) << r.name;
        EXPECT_EQ(port.LastOpenFailure().kind, r.kind) << r.name;
    }
    Publish();
    EXPECT_FALSE(port.Open("sim1", 2400));
    EXPECT_EQ(port.LastOpenFailure().kind, serial::OpenError::NoSuchPort);
    EXPECT_FALSE(m_server.Accept(300));  // nothing came to the pipe
}

// A display that does not read: only a stop ends the write soon, and the port stays usable.
TEST_F(VirtualDisplayWin32, AStopEndsAWriteTheDisplayDoesNotTake)
{
    Publish();
    serial::CSerialPort port;
    ASSERT_TRUE(port.Open("sim0", 2400));
    ASSERT_TRUE(m_server.Accept());
    // More than the pipe holds; at the display's pace it would time out after minutes.
    const std::vector<std::uint8_t> message(20000, 0x38);
    std::stop_source stop;
    std::thread stopper([&] {
        ::Sleep(300);
        stop.request_stop();
    });
    EXPECT_EQ(port.Write(message.data(), static_cast<std::uint32_t>(message.size()), stop.get_token()),
              serial::CSerialPort::CancelledError());
    stopper.join();
    m_server.Read(message.size(), 300);
    EXPECT_EQ(WriteText(port, "\x0c"), 0u);
    EXPECT_EQ(m_server.Read(1), "\x0c");
}

// The display ends while the port is held: the line's event says so at once, the write
// says the device is gone, as an unplugged adapter's does, and a new display under the
// same name is opened again.
TEST_F(VirtualDisplayWin32, ADisplayThatEndedIsGoneAndItsSuccessorOpens)
{
    Publish();
    serial::CSerialPort port;
    ASSERT_TRUE(port.Open("sim0", 2400));
    ASSERT_TRUE(m_server.Accept());
    ASSERT_NE(port.LineEventHandle(), serial::kNoHandle);
    EXPECT_EQ(::WaitForSingleObject(port.LineEventHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(port.LineHungUp());
    m_server.Close();
    m_display.Remove();
    EXPECT_EQ(::WaitForSingleObject(port.LineEventHandle(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(port.LineHungUp());

    const std::uint32_t result = WriteText(port, "\x0c");
    EXPECT_NE(result, 0u);
    EXPECT_TRUE(serial::CSerialPort::IsDeviceGone(result)) << result;
    EXPECT_EQ(serial::WriteErrorOf(result), serial::WriteError::DeviceGone);
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Open("sim0", 2400));

    m_pipe = serial::win32::NewVirtualPipePath();
    m_server = testing_support::PipeServer(m_pipe);
    Publish();
    ASSERT_TRUE(port.Open("sim0", 2400)) << serial::DescribeOpenFailure(port.LastOpenFailure(), 2400);
    ASSERT_TRUE(m_server.Accept());
    EXPECT_EQ(WriteText(port, "\x0c"), 0u);
    EXPECT_EQ(m_server.Read(1), "\x0c");

    // A display that lets its client go: the same.
    EXPECT_FALSE(port.LineHungUp());
    m_server.Disconnect();
    EXPECT_EQ(::WaitForSingleObject(port.LineEventHandle(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(port.LineHungUp());
    EXPECT_TRUE(serial::CSerialPort::IsDeviceGone(WriteText(port, "\x0c")));
}

constexpr DWORD kNoticeMs = 5000;  // a bound for a notice, not a measurement
constexpr DWORD kSettleMs = 200;

// Whether the watch tells of news within the bound.
bool Told(serial::PortWatch& watch)
{
    const std::vector<HANDLE> handles = watch.EventHandles();
    const ULONGLONG end = ::GetTickCount64() + kNoticeMs;
    while (::GetTickCount64() < end) {
        const DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 100);
        if (waited < WAIT_OBJECT_0 + handles.size() && watch.TakeEvents())
            return true;
    }
    return false;
}

// Takes what is still coming of one change (a publication makes folders and a file);
// then whether the watch stays quiet. *news: whether any of it concerned a port.
bool SettlesQuiet(serial::PortWatch& watch, bool* news = nullptr)
{
    const std::vector<HANDLE> handles = watch.EventHandles();
    for (int i = 0; i < 20; ++i) {
        if (::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, kSettleMs)
            == WAIT_TIMEOUT)
            return true;
        if (watch.TakeEvents() && news != nullptr)
            *news = true;
    }
    return false;
}

// The folder is followed from before it exists, through displays coming and going, to its
// removal and its return; the folder above it tells only of the folder on the way.
TEST(VirtualPortWatch, ToldOfEveryDisplayAndOfNothingElse)
{
    testing_support::Win32TempFolder temp;
    ASSERT_FALSE(temp.path().empty());
    const std::string folder = temp.path() + R"(\Vandry\display-test\ports)";
    serial::PortWatch watch({folder});
    ASSERT_EQ(watch.EventHandles().size(), 1u);
    EXPECT_NE(watch.EventHandle(), nullptr);
    EXPECT_TRUE(SettlesQuiet(watch));

    // Beside the folder's way: a folder and a file.
    ASSERT_TRUE(::CreateDirectoryW(wide_text::Widen(temp.path() + R"(\Other)").c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteUnlockedPortFile(temp.path(), "note", "x"));
    bool news = false;
    SettlesQuiet(watch, &news);
    EXPECT_FALSE(news);

    const std::string pipe = serial::win32::NewVirtualPipePath();
    VirtualPortPublication first;
    VirtualPortPublication second;
    std::string error;
    const auto removeAll = [&] {
        first.Remove();
        second.Remove();
        ::DeleteFileW(wide_text::Widen(folder + R"(\sim7)").c_str());
        return ::RemoveDirectoryW(wide_text::Widen(folder).c_str()) != FALSE;
    };
    const struct {
        const char* change;
        std::function<bool()> make;
    } changes[] = {
        {"the first display, the folders made", [&] { return first.Publish(folder, pipe, &error); }},
        {"a second display", [&] { return second.Publish(folder, pipe, &error); }},
        {"a display gone",
         [&] {
             second.Remove();
             return true;
         }},
        {"a killed display's file", [&] { return testing_support::WriteUnlockedPortFile(folder, "sim7", pipe); }},
        {"the folder removed", removeAll},
        {"the folder back with a display", [&] { return first.Publish(folder, pipe, &error); }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.change);
        ASSERT_TRUE(c.make());
        EXPECT_TRUE(Told(watch));
        EXPECT_TRUE(SettlesQuiet(watch));
    }
}

}  // namespace
