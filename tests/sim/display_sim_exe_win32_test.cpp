// display-sim.exe under Wine as a user starts it for scripts: --text, with display-send.exe
// sending to it by its name sim0; a second display, one that was killed, and one that
// listens on COM5 (a pseudo-terminal of wine-port-host) at 9600, and one on the network.
// The state lines expected are written out by hand, as --text prints them on Linux.

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "serial/port_name.h"
#include "serial/virtual_port_win32.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/win32_process.h"

namespace {

// Bounds for a hung program on a loaded machine, not measurements.
constexpr DWORD kLineMs = 60000;
constexpr DWORD kEndMs = 30000;
constexpr DWORD kPollMs = 20;

const std::string kBlank = "[        ] lamps=none mode=still";

// display-sim.exe with its standard output read here a line at a time.
class SimExe {
public:
    explicit SimExe(const std::vector<std::string>& args) : m_process(DISPLAY_SIM_EXE, args, true) {}
    ~SimExe() { m_process.End(kEndMs); }

    bool Started() const { return m_process.Started(); }
    const wine_host::Process& Process() const { return m_process; }

    // The next line without its line break, or nullopt when none came within kLineMs or
    // the output ended.
    std::optional<std::string> Line()
    {
        const ULONGLONG end = ::GetTickCount64() + kLineMs;
        for (;;) {
            if (const auto at = m_pending.find('\n'); at != std::string::npos) {
                std::string line = m_pending.substr(0, at);
                m_pending.erase(0, at + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            DWORD available = 0;
            if (!::PeekNamedPipe(m_process.OutputHandle(), nullptr, 0, nullptr, &available, nullptr))
                return std::nullopt;  // the program ended and its output with it
            if (available > 0) {
                std::string chunk(available, '\0');
                DWORD got = 0;
                if (!::ReadFile(m_process.OutputHandle(), chunk.data(), available, &got, nullptr))
                    return std::nullopt;
                m_pending.append(chunk, 0, got);
                continue;
            }
            if (::GetTickCount64() >= end)
                return std::nullopt;
            ::Sleep(kPollMs);
        }
    }

private:
    wine_host::Process m_process;
    std::string m_pending;
};

// display-send.exe with the arguments: its exit code.
DWORD Send(const std::vector<std::string>& args)
{
    const wine_host::Process send(DISPLAY_SEND_EXE, args);
    if (!send.Started())
        return STILL_ACTIVE;
    const DWORD code = send.WaitForExit(kLineMs);
    send.End(kEndMs);
    return code;
}

bool StartsWith(const std::optional<std::string>& line, const std::string& start)
{
    return line && line->rfind(start, 0) == 0;
}

TEST(DisplaySimExe, PrintsEachStateThatDisplaySendBringsToSim0)
{
    SimExe sim({"--text"});
    ASSERT_TRUE(sim.Started());
    const auto banner = sim.Line();
    ASSERT_TRUE(StartsWith(banner, R"(listening on sim0 (\\.\pipe\vandry-display-test-)")) << banner.value_or("");
    EXPECT_EQ(banner->back(), ')');
    EXPECT_EQ(sim.Line(), kBlank);

    // Each message, and a line for every command in it that changed the state: Clear
    // first (no line when the display is blank already), then the lamp, then the text.
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } rows[] = {
        {{"--text", "12.50", "--lamp", "price"},
         {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still"}},
        {{"--scroll"},
         {"[        ] lamps=Price mode=still", "[12345678] lamps=Price mode=scrolling text=\"12345678\""}},
        {{"--flicker"},
         {"[        ] lamps=Price mode=still", "[        ] lamps=Price mode=flickering",
          "[8.8.8.8.8.8.8.8.] lamps=Price mode=flickering"}},
        {{"--text", "0.1234567"}, {"[        ] lamps=Price mode=still", kBlank, "[0.1234567] lamps=none mode=still"}},
        {{"--text", "7", "--lamp", "change"},
         {kBlank, "[        ] lamps=Change mode=still", "[       7] lamps=Change mode=still"}},
        // No Clear: the lamp alone, then the text.
        {{"--hex", "1B 73 32 1B 51 41 31 32 0D"},
         {"[       7] lamps=Total mode=still", "[      12] lamps=Total mode=still"}},
        {{"--text", "88", "--lamp", "collect"},
         {"[        ] lamps=Total mode=still", "[        ] lamps=Collect mode=still",
          "[      88] lamps=Collect mode=still"}},
        {{"--clear"}, {"[        ] lamps=Collect mode=still"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args.front());
        std::vector<std::string> args{"--port", "sim0"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        ASSERT_EQ(Send(args), 0u);
        for (const std::string& line : r.lines)
            EXPECT_EQ(sim.Line(), line);
    }
}

// A second display takes sim1; one that was killed leaves its name to the next.
TEST(DisplaySimExe, ASecondDisplayTakesSim1AndAKilledDisplaysNameIsTakenOver)
{
    std::string firstPipe;
    {
        SimExe first({"--text"});
        const auto banner = first.Line();
        ASSERT_TRUE(StartsWith(banner, "listening on sim0 (")) << banner.value_or("");
        firstPipe = *banner;
        SimExe second({"--text"});
        ASSERT_TRUE(StartsWith(second.Line(), "listening on sim1 ("));
        ASSERT_EQ(second.Line(), kBlank);
        ASSERT_EQ(Send({"--port", "sim1", "--text", "2"}), 0u);
        EXPECT_EQ(second.Line(), "[       2] lamps=none mode=still");
        first.Process().End(kEndMs);  // TerminateProcess: nothing of it runs to clean up
    }
    SimExe next({"--text"});
    const auto banner = next.Line();
    ASSERT_TRUE(StartsWith(banner, "listening on sim0 (")) << banner.value_or("");
    EXPECT_NE(*banner, firstPipe);  // a pipe of its own
    ASSERT_EQ(next.Line(), kBlank);
    ASSERT_EQ(Send({"--port", "sim0", "--text", "3"}), 0u);
    EXPECT_EQ(next.Line(), "[       3] lamps=none mode=still");
}

BOOL WINAPI KeepRunning(DWORD event)
{
    return event == CTRL_BREAK_EVENT;  // the one this test sends its own console
}

// Ctrl+Break in the console it was started from (sent to every program of the console,
// this test included, which keeps running) ends it the ordinary way: its name goes. Runs
// where console events reach programs (Windows, Wine in a terminal).
TEST(DisplaySimExe, CtrlBreakInItsConsoleEndsItAndRemovesItsName)
{
    ::AllocConsole();  // none when the test runs without a terminal; else it fails, harmless
    ASSERT_TRUE(::SetConsoleCtrlHandler(KeepRunning, TRUE));
    const std::string ports = serial::DefaultVirtualPortDir();
    {
        SimExe sim({"--text"});
        ASSERT_TRUE(StartsWith(sim.Line(), "listening on sim0 ("));
        ASSERT_EQ(sim.Line(), kBlank);
        EXPECT_EQ(serial::win32::LiveVirtualPorts(ports), std::vector<std::string>{"sim0"});
        // Wine delivers no console event to a program without a terminal of its own: the
        // test then shows nothing.
        if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0))
            GTEST_SKIP() << "no console events here (error " << ::GetLastError() << ")";
        EXPECT_EQ(sim.Process().WaitForExit(kEndMs), 0u);
    }
    ::SetConsoleCtrlHandler(KeepRunning, FALSE);
    EXPECT_TRUE(serial::win32::LiveVirtualPorts(ports).empty());
    EXPECT_EQ(::GetFileAttributesW(wide_text::Widen(ports + "\\sim0").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DisplaySimExe, HelpAndVersionReachARedirectedOutput)
{
    SimExe version({"--version"});
    EXPECT_EQ(version.Line(), "display-sim 1.0.0.2");
    EXPECT_EQ(version.Process().WaitForExit(kEndMs), 0u);
    SimExe help({"--help"});
    EXPECT_TRUE(StartsWith(help.Line(), "Usage: display-sim [--text]"));
    EXPECT_EQ(help.Process().WaitForExit(kEndMs), 0u);
}

// On a real line: COM5 at 9600 8N1, and what a sender at its far end writes.
TEST(DisplaySimExe, ListensOnACOMPortAtItsRate)
{
    REQUIRE_PORT_HOST();
    SimExe sim({"--text", "--port", "COM5", "--baud", "9600"});
    EXPECT_EQ(sim.Line(), R"(listening on COM5 (\\.\COM5, 9600 baud))");
    ASSERT_EQ(sim.Line(), kBlank);
    const auto line = wine_host::Settings("COM5");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(wine_host::Described(*line), "9600 8N1");

    ASSERT_TRUE(wine_host::Write("COM5", "\x1bs3\x1bQA7\r"));
    EXPECT_EQ(sim.Line(), "[        ] lamps=Collect mode=still");
    EXPECT_EQ(sim.Line(), "[       7] lamps=Collect mode=still");
    // A quiet line is no closed one: the next message still shows, byte by byte too.
    for (const char c : std::string("\x1bQA12\r"))
        ASSERT_TRUE(wine_host::Write("COM5", std::string(1, c)));
    EXPECT_EQ(sim.Line(), "[      12] lamps=Collect mode=still");
}

// On the network: pyserial's RFC 2217 client on Linux, at a rate a display at 2400 reads
// and at one it would not.
TEST(DisplaySimExe, ListensForAnRfc2217ClientAndJudgesItsRate)
{
    REQUIRE_PORT_HOST();
    SimExe sim({"--text", "--listen", "rfc2217://127.0.0.1:0"});
    const auto banner = sim.Line();
    ASSERT_TRUE(StartsWith(banner, "listening on rfc2217://127.0.0.1:")) << banner.value_or("");
    ASSERT_EQ(sim.Line(), kBlank);
    const std::string url = banner->substr(std::string("listening on ").size());
    const struct {
        int baud;
        std::vector<std::string> lines;
    } rows[] = {
        {2400, {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still"}},
        {9600, {"sender at 9600 baud: a display at 2400 would show garbage"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.baud);
        EXPECT_EQ(wine_host::PySerialSend(url, r.baud, "\x0C\x1Bs1\x1BQA12.50\r"), 0);
        for (const std::string& line : r.lines)
            EXPECT_EQ(sim.Line(), line);
    }
    // The second message changed nothing on the face: the next state line is the first
    // client's again.
    EXPECT_EQ(wine_host::PySerialSend(url, 2400, "\x1Bs2"), 0);
    EXPECT_EQ(sim.Line(), "[    12.50] lamps=Total mode=still");
}

TEST(DisplaySimExe, APortThatDoesNotOpenIsOneLineOnStandardError)
{
    // COM200 exists in no test prefix; the line goes to standard error, nothing to the output.
    SimExe sim({"--text", "--port", "COM200"});
    EXPECT_EQ(sim.Line(), std::nullopt);
    EXPECT_EQ(sim.Process().WaitForExit(kEndMs), 1u);
}

}  // namespace
