// The virtual display's own line on Windows, a named pipe, and its file in a virtual-port
// folder of the test's own: clients open it with CreateFile as a sender does. And a COM
// port it listens on: COM5, a pseudo-terminal of wine-port-host.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "serial/display_line.h"
#include "serial/native_handle.h"
#include "serial/port_name.h"
#include "serial/virtual_port.h"
#include "serial/virtual_port_win32.h"
#include "tests/support/win32_virtual_display.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/win32_process.h"

namespace fs = std::filesystem;

namespace {

using serial::DisplayLine;
using serial::ReadResult;
using serial::VirtualPortPublication;

constexpr DWORD kWaitMs = 5000;

// A client of the pipe, as a sender opens it; invalid with GetLastError() set when refused.
serial::OwnedHandle OpenClient(const std::string& path)
{
    HANDLE h = ::CreateFileW(wide_text::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return serial::OwnedHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

void Write(const serial::OwnedHandle& client, const std::string& bytes)
{
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(client.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

// What arrives until want bytes came or the event stays quiet for kWaitMs; a Read that
// says Nothing (a client that went, a new one listened for) goes on waiting.
std::string ReadAll(DisplayLine& port, std::size_t want, ReadResult* last = nullptr)
{
    std::string got;
    ReadResult result = ReadResult::Nothing;
    while (got.size() < want && ::WaitForSingleObject(port.WaitHandle(), kWaitMs) == WAIT_OBJECT_0) {
        std::uint8_t buf[100];  // smaller than a pipe's read: the rest waits for the next Read
        std::size_t n = 0;
        result = port.Read(buf, sizeof buf, &n);
        if (result == ReadResult::Data)
            got.append(reinterpret_cast<char*>(buf), n);
        if (result == ReadResult::HungUp || result == ReadResult::Failed)
            break;
    }
    if (last)
        *last = result;
    return got;
}

// Reads until the display has seen its client go and listens again; then the event is
// clear, or the event loop would run round for ever.
void AwaitListening(DisplayLine& port)
{
    for (int i = 0; i < 10 && ::WaitForSingleObject(port.WaitHandle(), kWaitMs) == WAIT_OBJECT_0; ++i) {
        std::uint8_t buf[16];
        std::size_t n = 0;
        if (port.Read(buf, sizeof buf, &n) != ReadResult::Data)
            break;
    }
    EXPECT_EQ(::WaitForSingleObject(port.WaitHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// A new client's bytes reach the display.
void ExpectANewClientReachesIt(DisplayLine& port, const std::string& bytes)
{
    const serial::OwnedHandle client = OpenClient(port.DevicePath());
    ASSERT_TRUE(client.valid()) << ::GetLastError();
    Write(client, bytes);
    EXPECT_EQ(ReadAll(port, bytes.size()), bytes);
}

std::string FileText(const std::string& path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Pipe, OneClientAtATimeDeliversEveryByteAndTheNextConnectsOnceItCloses)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(9600, &error)) << error;
    EXPECT_EQ(port.DevicePath().rfind(R"(\\.\pipe\vandry-display-test-)", 0), 0u) << port.DevicePath();
    EXPECT_EQ(port.Baud(), 9600u);
    EXPECT_FALSE(port.ClientSettings());
    EXPECT_TRUE(port.HidesSenderSettings());

    std::string all;
    for (int round = 0; round < 40; ++round)  // more than the pipe's buffer, in many reads
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
    {
        const serial::OwnedHandle first = OpenClient(port.DevicePath());
        ASSERT_TRUE(first.valid()) << ::GetLastError();
        const serial::OwnedHandle second = OpenClient(port.DevicePath());
        EXPECT_FALSE(second.valid());
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
        Write(first, all.substr(0, 3000));
        EXPECT_EQ(ReadAll(port, 3000), all.substr(0, 3000));  // 00, CR, LF, 1A, FF unchanged
        Write(first, all.substr(3000));
        EXPECT_EQ(ReadAll(port, all.size() - 3000), all.substr(3000));
        EXPECT_EQ(::WaitForSingleObject(port.WaitHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    AwaitListening(port);
    ExpectANewClientReachesIt(port, "\x1bs1");
}

TEST(Pipe, AClientThatConnectsAndGoesBeforeTheDisplayLooksLeavesItListening)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(2400, &error)) << error;
    for (int i = 0; i < 3; ++i) {
        {
            const serial::OwnedHandle client = OpenClient(port.DevicePath());
            ASSERT_TRUE(client.valid()) << ::GetLastError();
        }
        AwaitListening(port);
    }
    ExpectANewClientReachesIt(port, "\x0c");
}

// display-send.exe finds the display by its name in the user's virtual-port folder and
// opens its pipe as a sender opens a port.
TEST(Pipe, DisplaySendReachesItByItsName)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(2400, &error)) << error;
    VirtualPortPublication link;
    ASSERT_TRUE(link.Publish(serial::DefaultVirtualPortDir(), port.DevicePath(), &error)) << error;
    const wine_host::Process send(DISPLAY_SEND_EXE, {"--port", link.Name(), "--text", "12.50", "--lamp", "price"});
    ASSERT_TRUE(send.Started());
    // Clear, the Price lamp, the text and CR.
    EXPECT_EQ(ReadAll(port, 13), "\x0c\x1bs1\x1bQA12.50\r");
    EXPECT_EQ(send.WaitForExit(kWaitMs), 0u);
}

// A client that tries while the display has not yet seen the last one go is refused, and
// gets in once it has.
TEST(Pipe, AClientRefusedWhileTheLastOneGoesGetsInAfter)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(2400, &error)) << error;
    ExpectANewClientReachesIt(port, "1");
    const serial::OwnedHandle early = OpenClient(port.DevicePath());
    EXPECT_FALSE(early.valid());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
    AwaitListening(port);
    ExpectANewClientReachesIt(port, "2");
}

TEST(Pipe, EachDisplayHasAPipeOfItsOwn)
{
    DisplayLine first, second;
    std::string error;
    ASSERT_TRUE(first.OpenOwnLine(2400, &error)) << error;
    ASSERT_TRUE(second.OpenOwnLine(2400, &error)) << error;
    EXPECT_NE(first.DevicePath(), second.DevicePath());
}

// A name that leads to no port, as the sender refuses it: the name comes first.
TEST(Device, Refusals)
{
    const struct {
        const char* name;
        const char* error;
    } rows[] = {
        // COM200 exists in no test prefix: wine-port-host links only the ports a test asks for.
        {"COM200", "\"COM200\": no such port"},
        {"sim0x/", "\"sim0x/\": "},
    };
    for (const auto& r : rows) {
        DisplayLine port;
        std::string error;
        EXPECT_FALSE(port.OpenDevice(r.name, 2400, &error)) << r.name;
        EXPECT_EQ(error.rfind(r.error, 0), 0u) << error;
        EXPECT_EQ(port.WaitHandle(), serial::kNoHandle);
    }
}

TEST(Device, ReadsACOMPortAt8N1AndItsRateAsTheBytesCome)
{
    REQUIRE_PORT_HOST();
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenDevice("COM5", 9600, &error)) << error;
    EXPECT_EQ(port.DevicePath(), R"(\\.\COM5)");
    EXPECT_FALSE(port.HidesSenderSettings());
    const auto line = wine_host::Settings("COM5");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(wine_host::Described(*line), "9600 8N1");
    ASSERT_TRUE(wine_host::Write("COM5", "\x1bQA12.50\r"));
    EXPECT_EQ(ReadAll(port, 9), "\x1bQA12.50\r");
    // A quiet line wakes nobody, and the byte after it still comes.
    EXPECT_EQ(::WaitForSingleObject(port.WaitHandle(), 100), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(wine_host::Write("COM5", std::string(1, '\0')));
    EXPECT_EQ(ReadAll(port, 1), std::string(1, '\0'));
}

// A display's file names its own pipe, which the sender finds there while the display
// runs; a second display takes the next name. (The names a display takes and takes over:
// virtual_port_test.)
TEST(Publication, TheFileNamesThePipeWhileTheDisplayRuns)
{
    testing_support::Win32TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string ports = folder.path() + "\\ports";
    DisplayLine port, other;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(2400, &error)) << error;
    ASSERT_TRUE(other.OpenOwnLine(2400, &error)) << error;
    {
        VirtualPortPublication link, otherLink;
        ASSERT_TRUE(link.Publish(ports, port.DevicePath(), &error)) << error;
        EXPECT_EQ(FileText(link.Path()).find(port.DevicePath()), 0u);
        EXPECT_EQ(serial::win32::VirtualPortPipe(ports, "sim0"), port.DevicePath());
        ASSERT_TRUE(otherLink.Publish(ports, other.DevicePath(), &error)) << error;
        EXPECT_EQ(otherLink.Name(), "sim1");
        EXPECT_EQ(serial::win32::LiveVirtualPorts(ports), (std::vector<std::string>{"sim0", "sim1"}));
    }
    EXPECT_TRUE(serial::win32::LiveVirtualPorts(ports).empty());
}

}  // namespace
