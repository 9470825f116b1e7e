// display-send.exe under Wine against the Linux build of the same sources: for every
// kind of message both must put the same bytes on the line. wine-port-host gives this
// program COM5 and COM12 and runs the Linux display-send on a terminal of its own.
// CTest runs it with the Chinese ANSI code page (936, GBK), the display's code page
// on Linux.

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/virtual_port.h"
#include "serial/virtual_port_win32.h"
#include "tests/support/win32_virtual_display.h"
#include "tests/wine/hex_words.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/serial_comm.h"
#include "tests/wine/win32_process.h"

namespace {

constexpr char kPort[] = "COM5";
constexpr DWORD kRunTimeoutMs = 60000;  // a bound for a hung program, not a measurement
constexpr int kArrivalMs = 5000;
constexpr int kQuietMs = 300;

struct Run {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;  // standard output
};

// Runs display-send.exe with the arguments (UTF-8) and collects its standard output.
std::optional<Run> RunSender(const std::vector<std::string>& args)
{
    wine_host::Process sender(DISPLAY_SEND_EXE, args, true);
    if (!sender.Started())
        return std::nullopt;
    Run run;
    run.out = sender.ReadOutput();
    run.exitCode = sender.WaitForExit(kRunTimeoutMs);
    return run;
}

TEST(DisplaySendWin32, SendsWhatTheLinuxBuildSendsForEveryMessage)
{
    REQUIRE_PORT_HOST();
    ASSERT_EQ(GetACP(), 936u) << "Chinese text compares only in the GBK code page";
    const std::vector<std::vector<std::string>> cases = {
        {"--clear"},
        {"--scroll"},
        {"--flicker"},
        {"--hex", "0C 1B7331 1B5141 31322E3530 0D"},
        {"--hex", "0c,1b7330\r\n1B5141382e380D"},
        {"--text", "12.50"},
        {"--text", "12.50", "--lamp", "off"},
        {"--text", "12.50", "--lamp", "price"},
        {"--text", "88.88", "--lamp", "total"},
        {"--text", "0.99", "--lamp", "collect"},
        {"--text", "3.01", "--lamp", "change"},
        {"--text", "\xE4\xB8\xAD\xE6\x96\x87"
                   "12"},                            // 中文12: GBK on both
        {"--text", "caf\xC3\xA9 \xF0\x9F\x98\x80"},  // what GBK cannot hold: '?'
        {"--text", std::string(300, '8')},           // longer than one staging block
        {"--baud", "9600", "--text", "8.8.8.8.8.8.8.8.", "--lamp", "price"},
    };
    for (const auto& args : cases) {
        std::string name;
        for (const auto& a : args)
            name += (name.empty() ? "" : " ") + (a.size() > 40 ? a.substr(0, 40) + "..." : a);
        SCOPED_TRACE(name);

        const auto native = wine_host::NativeSend(args);
        ASSERT_TRUE(native.has_value());
        ASSERT_EQ(native->exitCode, 0);
        ASSERT_FALSE(native->bytes.empty());

        std::vector<std::string> windowsArgs{"--port", kPort};
        windowsArgs.insert(windowsArgs.end(), args.begin(), args.end());
        const auto run = RunSender(windowsArgs);
        ASSERT_TRUE(run.has_value());
        EXPECT_EQ(run->exitCode, 0u);
        const std::string bytes = wine_host::Read(kPort, native->bytes.size(), kArrivalMs);
        EXPECT_EQ(wine_host::Hex(bytes), wine_host::Hex(native->bytes));
        EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
    }
}

TEST(DisplaySendWin32, RefusesWhatTheLinuxBuildRefusesAndSendsNothing)
{
    REQUIRE_PORT_HOST();
    const std::vector<std::vector<std::string>> cases = {
        {"--hex", "1G23"},                  // not whole hex: 6
        {"--hex", "0C 1"},                  // a lone digit: 6
        {"--text", "1", "--lamp", "blue"},  // 2
        {"--baud", "fast", "--clear"},      // 2
        {"--scroll", "--flicker"},          // two messages: 2
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const auto native = wine_host::NativeSend(args);
        ASSERT_TRUE(native.has_value());
        EXPECT_NE(native->exitCode, 0);
        EXPECT_EQ(native->bytes, "");

        std::vector<std::string> windowsArgs{"--port", kPort};
        windowsArgs.insert(windowsArgs.end(), args.begin(), args.end());
        const auto run = RunSender(windowsArgs);
        ASSERT_TRUE(run.has_value());
        EXPECT_EQ(static_cast<int>(run->exitCode), native->exitCode);
        EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
    }
}

TEST(DisplaySendWin32, ListsThePortsAndSendsToTheFirstByDefault)
{
    REQUIRE_PORT_HOST();
    const auto list = RunSender({"--list"});
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->exitCode, 0u);
    // COM port numbers say nothing of the hardware behind them.
    EXPECT_EQ(list->out, "COM5\tserial port\r\nCOM12\tserial port\r\n");
    const auto names = RunSender({"--list", "--names"});
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(names->out, "COM5\r\nCOM12\r\n");

    const auto clear = RunSender({"--clear"});
    ASSERT_TRUE(clear.has_value());
    EXPECT_EQ(clear->exitCode, 0u);
    EXPECT_EQ(wine_host::Read(kPort, 1, kArrivalMs), "\x0C");
    EXPECT_EQ(wine_host::ReadUntilQuiet("COM12", kQuietMs), "");
}

// A port a driver named in the registry above COM16, as a USB adapter on a till that has
// seen many: listed in number order with what its driver's device says, and opened.
TEST(DisplaySendWin32, ListsAndOpensAPortTheRegistryNamesAboveSixteen)
{
    REQUIRE_PORT_HOST();
    ASSERT_TRUE(wine_host::Plug("COM23"));
    ASSERT_TRUE(wine_host::NameSerialPort(R"(\Device\VCP0)", "COM23"));
    const auto list = RunSender({"--list"});
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(list->exitCode, 0u);
    EXPECT_EQ(list->out, "COM5\tserial port\r\nCOM12\tserial port\r\nCOM23\tUSB serial\r\n");

    const auto run = RunSender({"--port", "COM23", "--text", "12.50", "--lamp", "price"});
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->exitCode, 0u);
    const std::string expected = wine_host::Unhex("0C1B73311B514131322E35300D").value();
    EXPECT_EQ(wine_host::Hex(wine_host::Read("COM23", expected.size(), kArrivalMs)), wine_host::Hex(expected));
    EXPECT_TRUE(wine_host::RemoveSerialPortList());
    EXPECT_TRUE(wine_host::Unplug("COM23"));
}

TEST(DisplaySendWin32, OpensAtTheBaudRateAsked)
{
    REQUIRE_PORT_HOST();
    for (const char* baud : {"9600", "2400"}) {
        SCOPED_TRACE(baud);
        const auto found = wine_host::Settings("COM12");
        ASSERT_TRUE(found.has_value());
        // Held by flow control, the line keeps the sender's settings in sight while it waits.
        ASSERT_TRUE(wine_host::Stall("COM12"));
        wine_host::Process sender(DISPLAY_SEND_EXE, {"--port", "COM12", "--baud", baud, "--clear"});
        ASSERT_TRUE(sender.Started());
        const auto line = wine_host::SettingsAtSpeed("COM12", std::stoi(baud), kArrivalMs);
        ASSERT_TRUE(wine_host::Resume("COM12"));
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->dataBits, 8);
        EXPECT_FALSE(line->parity);
        EXPECT_FALSE(line->twoStopBits);
        EXPECT_EQ(sender.WaitForExit(kRunTimeoutMs), 0u);
        EXPECT_EQ(wine_host::Read("COM12", 1, kArrivalMs), "\x0C");
        // Once it has ended, the line is as it was found.
        const auto after = wine_host::Settings("COM12");
        ASSERT_TRUE(after.has_value());
        EXPECT_EQ(after->outputSpeed, found->outputSpeed);
    }
}

TEST(DisplaySendWin32, APortThatIsNotThereIsReportedAsSuch)
{
    REQUIRE_PORT_HOST();
    for (const char* port : {"COM9", "COM17", "COM0"}) {
        SCOPED_TRACE(port);
        const auto run = RunSender({"--port", port, "--clear"});
        ASSERT_TRUE(run.has_value());
        EXPECT_EQ(run->exitCode, 4u);  // the port cannot be opened
    }
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
}

// Through ser2net in front of COM5, started by the host on a free loopback port: by the
// COM port option (the bytes arrive at the rate asked) and raw.
TEST(DisplaySendWin32, SendsThroughADeviceServerAtTheRateAsked)
{
    REQUIRE_PORT_HOST();
    const struct {
        const char* accepter;
        std::vector<std::string> args;
        const char* hex;  // written out by hand
        int rate;         // the line's as the bytes arrive; 9600 is ser2net's own
    } rows[] = {
        {"rfc2217", {"--baud", "9600", "--text", "12.50", "--lamp", "price"}, "0C1B73311B514131322E35300D", 9600},
        {"rfc2217", {"--baud", "2400", "--hex", "0C FF 0D"}, "0CFF0D", 2400},
        {"tcp", {"--text", "12.50", "--lamp", "price"}, "0C1B73311B514131322E35300D", 9600},
    };
    // One server of each kind: a connection a moment after ser2net's start-up check may get
    // no answer.
    std::vector<std::string> last;
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.accepter) + " " + r.hex);
        const auto port = wine_host::Serve(kPort, r.accepter);
        ASSERT_TRUE(port.has_value());
        std::vector<std::string> args{"--port", std::string(r.accepter) + "://127.0.0.1:" + std::to_string(*port)};
        args.insert(args.end(), r.args.begin(), r.args.end());
        wine_host::Process sender(DISPLAY_SEND_EXE, args);
        ASSERT_TRUE(sender.Started());
        const std::string expected = wine_host::Unhex(r.hex).value();
        EXPECT_EQ(wine_host::Hex(wine_host::Read(kPort, expected.size(), kArrivalMs)), wine_host::Hex(expected));
        EXPECT_EQ(wine_host::ArrivalSpeed(kPort), r.rate);
        EXPECT_EQ(sender.WaitForExit(kRunTimeoutMs), 0u);
        last = args;
    }
    // Nothing listens there any more: the port does not open.
    ASSERT_TRUE(wine_host::Unserve(kPort));
    const auto refused = RunSender(last);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->exitCode, 4u);
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
}

// What a run gives, by a name a test fixture can use (testing::Test has a Run of its own).
using SenderRun = Run;

// A virtual display as display-send.exe meets it: the test points the user's folder to a
// folder of its own and listens on the display's pipe itself.
class DisplaySendVirtualWin32 : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_PORT_HOST();
        ASSERT_FALSE(m_temp.path().empty());
        ::GetEnvironmentVariableW(L"LOCALAPPDATA", m_saved, MAX_PATH + 1);
        // Inherited by display-send.exe.
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", wide_text::Widen(m_temp.path()).c_str());
        m_folder = serial::DefaultVirtualPortDir();
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"LOCALAPPDATA", m_saved); }

    // Runs display-send.exe; its standard output and error together.
    static SenderRun RunWithErrors(const std::vector<std::string>& args)
    {
        wine_host::Process sender(DISPLAY_SEND_EXE, args, true, true);
        SenderRun run;
        if (!sender.Started())
            return run;
        run.out = sender.ReadOutput() + sender.ReadErrors();
        run.exitCode = sender.WaitForExit(kRunTimeoutMs);
        return run;
    }

    testing_support::Win32TempFolder m_temp;
    wchar_t m_saved[MAX_PATH + 1] = {};
    std::string m_folder;
    const std::string m_pipe = serial::win32::NewVirtualPipePath();
    testing_support::PipeServer m_server{m_pipe};
    serial::VirtualPortPublication m_display;
};

TEST_F(DisplaySendVirtualWin32, ListsTheDisplayFirstAndSendsThroughItsPipe)
{
    ASSERT_TRUE(m_server.valid());
    std::string error;
    ASSERT_TRUE(m_display.Publish(m_folder, m_pipe, &error)) << error;
    const SenderRun list = RunWithErrors({"--list"});
    EXPECT_EQ(list.exitCode, 0u);
    EXPECT_EQ(list.out, "sim0\tvirtual display\r\nCOM5\tserial port\r\nCOM12\tserial port\r\n");

    wine_host::Process sender(DISPLAY_SEND_EXE, {"--port", "sim0", "--text", "12.50", "--lamp", "price"});
    ASSERT_TRUE(sender.Started());
    ASSERT_TRUE(m_server.Accept(kRunTimeoutMs));
    // Clear, the price lamp, the digits, CR.
    const std::string expected = "\x0C"
                                 "\x1Bs1"
                                 "\x1BQA"
                                 "12.50"
                                 "\r";
    EXPECT_EQ(wine_host::Hex(m_server.Read(expected.size())), wine_host::Hex(expected));
    EXPECT_EQ(sender.WaitForExit(kRunTimeoutMs), 0u);
    EXPECT_EQ(m_server.Read(1, kQuietMs), "");
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
}

TEST_F(DisplaySendVirtualWin32, AKilledOrMissingDisplayIsReportedAndGetsNothing)
{
    ASSERT_TRUE(m_server.valid());
    const std::string line =
        "display-send: cannot open \"sim0\": no such port (its virtual display is not running)\r\n";
    // No display has ever run: no folder.
    SenderRun run = RunWithErrors({"--port", "sim0", "--clear"});
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.out, line);

    // A killed display's file, its pipe still there: not followed.
    std::string error;
    ASSERT_TRUE(m_display.Publish(m_folder, m_pipe, &error)) << error;
    m_display.Remove();
    ASSERT_TRUE(testing_support::WriteUnlockedPortFile(m_folder, "sim0", m_pipe));
    run = RunWithErrors({"--port", "sim0", "--clear"});
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.out, line);
    EXPECT_FALSE(m_server.Accept(kQuietMs));
    const SenderRun list = RunWithErrors({"--list", "--names"});
    EXPECT_EQ(list.out, "COM5\r\nCOM12\r\n");
}

TEST_F(DisplaySendVirtualWin32, ADisplayHeldByAnotherProgramIsInUse)
{
    ASSERT_TRUE(m_server.valid());
    std::string error;
    ASSERT_TRUE(m_display.Publish(m_folder, m_pipe, &error)) << error;
    serial::CSerialPort holder;
    ASSERT_TRUE(holder.Open("sim0", 2400));
    ASSERT_TRUE(m_server.Accept());
    const SenderRun run = RunWithErrors({"--port", "sim0", "--clear"});
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.out, "display-send: cannot open \"sim0\": in use by another program\r\n");
    EXPECT_EQ(m_server.Read(1, kQuietMs), "");
}

}  // namespace
