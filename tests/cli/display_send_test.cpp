// display-send end to end: the built program, run as a child process, against
// pseudo-terminal pairs. The virtual port folder holds a guard pseudo-terminal, listed
// before every real port: a run that falls back to the default port reaches the guard,
// never a serial device of the machine.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "serial/socket.h"
#include "tests/support/child_process.h"
#include "tests/support/device_server.h"
#include "tests/support/display_lock.h"
#include "tests/support/fake_machine.h"
#include "tests/support/pty_pair.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using PtyPair = testing_support::PtyPair<>;

class DisplaySend : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_runtimeDir.empty());
        ASSERT_TRUE(m_guard.ok() && m_line.ok());
        ASSERT_EQ(symlink(m_guard.path().c_str(), (m_ports / "guard").c_str()), 0);
        m_guardLock = testing_support::HoldDisplayLock(m_ports / ".guard.lock");
        ASSERT_TRUE(m_guardLock.valid());
    }

    void TearDown() override
    {
        EXPECT_TRUE(m_guardMayReceive || m_guard.ReadAtLeast(0).empty()) << "a run wrote to the default port";
    }

    testing_child::Result Send(const std::vector<std::string>& args)
    {
        return testing_child::Run(DISPLAY_SEND_PATH, args, {{"XDG_RUNTIME_DIR", m_runtimeDir.string()}});
    }

    // Runs with --port naming the test's line, unless args name a port or ask for the list
    // (which takes no other option), then takes what arrived on the line.
    testing_child::Result SendToLine(std::vector<std::string> args, Bytes* wire, std::size_t expected)
    {
        const auto has = [&args](const char* option) {
            return std::any_of(args.begin(), args.end(),
                               [option](const std::string& a) { return a.starts_with(option); });
        };
        if (!has("--port") && !has("--list"))
            args.insert(args.begin(), {"--port", m_line.path()});
        auto result = Send(args);
        *wire = m_line.ReadAtLeast(expected);
        return result;
    }

    // Sets the line up as another program left it: 19200 baud, cooked, echoing.
    termios UsedBefore()
    {
        termios tio{};
        EXPECT_TRUE(m_line.LineSettings(&tio));
        cfsetspeed(&tio, B19200);
        tio.c_lflag |= ICANON | ECHO;
        EXPECT_EQ(tcsetattr(m_line.slave(), TCSANOW, &tio), 0);
        EXPECT_TRUE(m_line.LineSettings(&tio));
        return tio;
    }

    bool LineIsAsBefore(const termios& before) const
    {
        termios now{};
        return m_line.LineSettings(&now) && std::memcmp(&now, &before, sizeof now) == 0;
    }

    testing_child::Setup Env() const
    {
        testing_child::Setup setup;
        setup.env = {{"XDG_RUNTIME_DIR", m_runtimeDir.string()}};
        return setup;
    }

    // What a run set the line to, once it differs from what another program left.
    termios SetUpBy(const termios& before) const
    {
        termios during{};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_line.LineSettings(&during) && std::memcmp(&during, &before, sizeof before) == 0
               && std::chrono::steady_clock::now() < end)
            poll(nullptr, 0, 1);
        return during;
    }

    // Runs with --port, on a line left by another program and stalled until the run has
    // set it up (*during); the line must be as it was once the run ends.
    testing_child::Result SendWatchingTheLine(std::vector<std::string> args, Bytes* wire, std::size_t expected,
                                              termios* during)
    {
        const termios before = UsedBefore();
        EXPECT_TRUE(m_line.Stall());
        args.insert(args.begin(), {"--port", m_line.path()});
        testing_child::Child child(DISPLAY_SEND_PATH, args, Env());
        *during = SetUpBy(before);
        EXPECT_TRUE(m_line.Resume());
        auto result = child.Collect(std::chrono::seconds(30));
        *wire = m_line.ReadAtLeast(expected);
        EXPECT_TRUE(LineIsAsBefore(before)) << "the line was not put back as it was found";
        return result;
    }

    testing_support::FakeMachine m_machine;  // its root is the runtime folder
    const std::filesystem::path m_runtimeDir = m_machine.root();
    const std::filesystem::path m_ports = m_machine.roots.virtualDir;
    PtyPair m_guard;
    PtyPair m_line;
    bool m_guardMayReceive = false;
    serial::OwnedHandle m_guardLock;
    std::vector<serial::OwnedHandle> m_locks;
};

// The single line of a failure; after bad arguments, a pointer to --help below it.
void ExpectOneLineReason(const testing_child::Result& r, const std::string& part)
{
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(r.err.rfind("display-send: ", 0), 0u) << r.err;
    ASSERT_FALSE(r.err.empty());
    std::string reason = r.err;
    const std::string hint = "Try 'display-send --help'.\n";
    const bool hinted = reason.ends_with(hint);
    EXPECT_EQ(hinted, r.exitCode == 2) << r.err;
    if (hinted)
        reason.resize(reason.size() - hint.size());
    EXPECT_EQ(reason.find('\n'), reason.size() - 1) << r.err;
    EXPECT_NE(reason.find(part), std::string::npos) << r.err;
}

// This process as /proc/locks and ps name it.
std::string ThisProcess()
{
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name + " (pid " + std::to_string(getpid()) + ")";
}

TEST_F(DisplaySend, EveryMessageKindPutsItsExactBytesOnTheLineAtItsRate)
{
    // err: what --verbose prints, %s standing for the port.
    struct Row {
        std::vector<std::string> args;
        Bytes bytes;
        speed_t speed = B2400;
        std::string err = {};
    };
    const Row rows[] = {
        {{"--hex", "1B5141"}, {0x1B, 0x51, 0x41}},
        {{"--hex", "1b 51,41\r\n0c"}, {0x1B, 0x51, 0x41, 0x0C}},
        {{"--hex", "1B\n51\n\n0c\n"}, {0x1B, 0x51, 0x0C}},  // as kept in a Linux file
        {{"--verbose", "--text", "1", "--lamp", "price"},
         {0x0C, 0x1B, 0x73, 0x31, 0x1B, 0x51, 0x41, 0x31, 0x0D},
         B2400,
         "display-send: sent 9 bytes to %s at 2400 baud: 0C 1B 73 31 1B 51 41 31 0D\n"},
        {{"--baud", "9600", "--hex", "7f", "--verbose"},
         {0x7F},
         B9600,
         "display-send: sent 1 byte to %s at 9600 baud: 7F\n"},
        {{"--hex", "000A0D7F80FF"}, {0x00, 0x0A, 0x0D, 0x7F, 0x80, 0xFF}},
        {{"--text", "12.50"}, {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0x31, 0x32, 0x2E, 0x35, 0x30, 0x0D}},
        {{"--text", "12.50", "--lamp", "off"},
         {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0x31, 0x32, 0x2E, 0x35, 0x30, 0x0D}},
        {{"--text", "12.50", "--lamp", "price"},
         {0x0C, 0x1B, 0x73, 0x31, 0x1B, 0x51, 0x41, 0x31, 0x32, 0x2E, 0x35, 0x30, 0x0D}},
        {{"--lamp", "total", "--text", "8"}, {0x0C, 0x1B, 0x73, 0x32, 0x1B, 0x51, 0x41, 0x38, 0x0D}},
        {{"--text=8", "--lamp=collect"}, {0x0C, 0x1B, 0x73, 0x33, 0x1B, 0x51, 0x41, 0x38, 0x0D}},
        {{"--text", "8", "--lamp", "change"}, {0x0C, 0x1B, 0x73, 0x34, 0x1B, 0x51, 0x41, 0x38, 0x0D}},
        {{"--text", ""}, {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0x0D}},
        {{"--text", "-1"}, {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0x2D, 0x31, 0x0D}},
        {{"--text", "\xE4\xB8\xAD"
                    "1"},  // 中 in GBK
         {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0xD6, 0xD0, 0x31, 0x0D}},
        {{"--scroll"}, {0x0C, 0x1B, 0x51, 0x44, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x0D}},
        {{"--flicker"}, {0x0C, 0x1B, 0x45, 0x05, 0x1B, 0x51, 0x41, 0x38, 0x2E, 0x38, 0x2E, 0x38,
                         0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x0D}},
        {{"--clear"}, {0x0C}},
        {{"--baud", "9600", "--clear"}, {0x0C}, B9600},
        {{"--baud=2400", "--clear"}, {0x0C}, B2400},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        Bytes wire;
        termios during{};
        const auto result = SendWatchingTheLine(r.args, &wire, r.bytes.size(), &during);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::string err = r.err;
        if (const auto at = err.find("%s"); at != std::string::npos)
            err.replace(at, 2, m_line.path());
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(wire, r.bytes);
        EXPECT_EQ(cfgetospeed(&during), r.speed);
        EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
    }
}

// Through Debian's ser2net in front of the test's line. Disabled for now: in about one run
// of two some row's bytes never reach the pseudo-terminal although the run succeeded and
// the rate was set (seen on raw TCP too); ser2net flushes the line when its client leaves.
TEST_F(DisplaySend, NetworkPortsReachTheLineThroughADeviceServer)
{
    if (!testing_support::HaveSer2net())
        GTEST_SKIP() << "no ser2net";
    using Accepter = testing_support::DeviceServer::Accepter;
    // A line for each server: one that has just been left may still hold its line.
    const PtyPair rawLine;
    testing_support::DeviceServer rfc2217(m_line.path(), Accepter::Rfc2217);
    testing_support::DeviceServer raw(rawLine.path(), Accepter::RawTcp);
    ASSERT_TRUE(rfc2217.Running() && raw.Running());
    // The line is read as the bytes come, and its rate taken as the first arrive: ser2net
    // puts its settings back, and drops what is unread on the line, once its client left.
    const auto send = [this](const PtyPair& line, const std::string& port, std::vector<std::string> args, speed_t speed,
                             Bytes* wire, std::size_t expected) {
        args.insert(args.begin(), {"--port", port});
        testing_child::Child child(DISPLAY_SEND_PATH, args, Env());
        wire->clear();
        speed_t arrivedAt = B0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (wire->size() < expected && std::chrono::steady_clock::now() < end) {
            pollfd p{line.master(), POLLIN, 0};
            termios during{};
            if (poll(&p, 1, 5) > 0 && arrivedAt == B0 && line.LineSettings(&during))
                arrivedAt = cfgetospeed(&during);
            line.ReadAvailable(wire);
        }
        if (expected > 0) {
            EXPECT_EQ(arrivedAt, speed);
        }
        return child.Collect(std::chrono::seconds(30));
    };
    const Bytes price = {0x0C, 0x1B, 0x73, 0x31, 0x1B, 0x51, 0x41, 0x31, 0x32, 0x2E, 0x35, 0x30, 0x0D};
    struct Row {
        testing_support::DeviceServer* server;
        const PtyPair* line;
        std::vector<std::string> args;
        Bytes bytes;
        speed_t speed;         // on raw TCP ser2net's own, 9600
        bool restart = false;  // killed first, refused, started again on the same port
    };
    const Row rows[] = {
        {&rfc2217, &m_line, {"--baud", "9600", "--text", "12.50", "--lamp", "price"}, price, B9600},
        {&rfc2217, &m_line, {"--hex", "0C FF 0D"}, {0x0C, 0xFF, 0x0D}, B2400},
        {&rfc2217, &m_line, {"--baud", "9600", "--clear"}, {0x0C}, B9600, true},
        {&raw, &rawLine, {"--baud", "2400", "--text", "12.50", "--lamp", "price"}, price, B9600},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.server->Name() + " " + testing::PrintToString(r.args));
        Bytes wire;
        if (r.restart) {
            r.server->Kill();
            ExpectOneLineReason(send(*r.line, r.server->Name(), r.args, B0, &wire, 0), "connection refused");
            r.server->Start();
            ASSERT_TRUE(r.server->Running());
        }
        const auto result = send(*r.line, r.server->Name(), r.args, r.speed, &wire, r.bytes.size());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(wire, r.bytes);
    }
}

TEST_F(DisplaySend, LongTextGoesOutWhole)
{
    const std::string text(300, '8');
    Bytes wire;
    const auto result = SendToLine({"--text", text, "--lamp", "price"}, &wire, 308);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(wire.size(), 308u);
    EXPECT_EQ(wire[307], 0x0D);
}

// Runs that fail: one line names the reason, and not a byte goes out, not even when the
// arguments name the line. hold(true) prepares the line, hold(false) puts it back.
TEST_F(DisplaySend, FailuresAreNamedAndSendNothing)
{
    const int fd = m_line.slave();
    const auto lock = [fd](bool on) { ASSERT_EQ(flock(fd, on ? LOCK_EX | LOCK_NB : LOCK_UN), 0); };
    const auto stall = [this](bool on) { ASSERT_TRUE(on ? m_line.Stall() : m_line.Resume()); };
    const std::string missing = (m_runtimeDir / "no-such-device").string();
    // A listener that never takes its connections: the kernel completes them, nobody answers.
    std::string error;
    const serial::ListeningSocket silent = serial::ListeningSocket::Listen("", 0, &error);
    ASSERT_TRUE(silent.Valid()) << error;
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(testing_support::FreeLoopbackPort());
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string reason;
        std::function<void(bool)> hold = nullptr;
    };
    const Row rows[] = {
        // Bad arguments, refused before anything is sent.
        {{}, 2, "nothing to send"},
        {{"--lamp", "price"}, 2, "--lamp goes with --text"},
        {{"--text", "1", "--lamp", "price", "--scroll"}, 2, "only one of"},
        {{"--names"}, 2, "--names goes with --list"},
        {{"--names", "--clear"}, 2, "--names goes with --list"},
        {{"--list", "--names", "--baud", "9600"}, 2, "--list takes no other option"},
        {{"--list=all"}, 2, "--list takes no value"},
        {{"--bogus"}, 2, "unknown option \"--bogus\""},
        {{"--bo\ngus=1"}, 2, "unknown option \"--bo\\ngus\""},
        {{"--baud", "96\r\n00", "--clear"}, 2, "not \"96\\r\\n00\""},
        {{"12.50"}, 2, "unexpected argument"},
        {{"--hex"}, 2, "--hex needs a value"},
        {{"--text", "1", "--lamp", "blue"}, 2, "--lamp takes off, price, total, collect or change"},
        {{"--clear", "--lamp", "price"}, 2, "--lamp goes with --text"},
        {{"--scroll", "--clear"}, 2, "only one of"},
        {{"--baud", "fast", "--clear"}, 2, "--baud needs a rate"},
        {{"--baud", "0", "--clear"}, 2, "--baud needs a rate"},
        {{"--baud", "-9600", "--clear"}, 2, "--baud needs a rate"},
        {{"--baud", "99999999999", "--clear"}, 2, "--baud needs a rate"},
        {{"--list", "--clear"}, 2, "--list takes no other option"},
        {{"--clear=yes"}, 2, "--clear takes no value"},
        {{"--port", "", "--clear"}, 2, "--port needs a port name"},
        {{"--port=", "--clear"}, 2, "--port needs a port name"},
        {{"--clear="}, 2, "--clear takes no value"},
        {{"--cle"}, 2, "unknown option \"--cle\""},
        {{"-hx"}, 2, "unknown option \"-hx\""},
        {{"--baud", "9600", "--baud", "2400", "--clear"}, 2, "--baud given twice"},
        {{"--hex", "--clear"}, 6, "character 1 is '-'"},
        {{"--hex", "1G23"}, 6, "character 2 is 'G'"},
        {{"--hex", "1B5"}, 6, "character 3 is a lone last digit"},
        {{"--hex", "1B 5 1"}, 6, "character 5 is a space"},
        {{"--hex", "1\nB"}, 6, "character 2 is a LF, not a hexadecimal digit (a separator cannot split"},
        {{"--hex", "1B\r51"},
         6,
         "character 3 is a CR, not a hexadecimal digit (a line break between pairs is LF or CR LF)"},
        {{"--verbose"}, 2, "nothing to send"},
        {{"--hex", "0x0C"}, 6, "character 2 is 'x'"},
        {{"--hex", ""}, 6, "no byte"},
        {{"--hex", " , "}, 6, "no byte"},
        {{"--port", missing, "--clear"}, 4, "cannot open \"" + missing + "\": no such port"},
        // User input goes into the line quoted: no line break, no escape sequence.
        {{"--port", "ttyS9\n\x1b[2J", "--clear"}, 4, "cannot open \"ttyS9\\n\\x1B[2J\": no such port"},
        {{"--port",
          "sim\x9b"
          "0",
          "--clear"},
         4,
         "cannot open \"sim\\x9B0\": no such port"},
        {{"--clear"}, 4, "cannot open \"" + m_line.path() + "\": in use by " + ThisProcess(), lock},
        // Output stopped as by XOFF: the byte cannot leave within the write's time-out.
        {{"--clear"}, 5, "timed out", stall},
        {{"--baud", "14400", "--clear"}, 4, "unsupported baud rate 14400"},
        {{"--baud", "250000", "--clear"}, 4, "unsupported baud rate 250000"},
        {{"--baud", "4294967295", "--clear"}, 4, "unsupported baud rate 4294967295"},
        {{"--port", "rfc2217://127.0.0.1", "--clear"}, 2, "no port number after the host"},
        {{"--port", refused, "--clear"}, 4, "cannot open \"" + refused + "\": connection refused"},
        {{"--port", "rfc2217://127.0.0.1:" + std::to_string(silent.Port()), "--clear"},
         4,
         "not an RFC 2217 device server (no answer to the COM port option within 3 s)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        if (r.hold)
            r.hold(true);
        Bytes wire;
        const auto result = SendToLine(r.args, &wire, 0);
        if (r.hold)
            r.hold(false);
        EXPECT_EQ(result.exitCode, r.exitCode);
        ExpectOneLineReason(result, r.reason);
        EXPECT_TRUE(wire.empty());
    }
}

// Ports that must not be written: each row prepares the folder, then the named port is
// neither listed nor opened, and neither the test's line nor the guard receives a byte.
TEST_F(DisplaySend, PortsThatAreNoDisplayLineAreNeitherListedNorWritten)
{
    // A link and its lock file, held as by a display that runs (live) or not.
    const auto link = [&](const std::string& name, const std::string& target, bool live = true) {
        ASSERT_EQ(symlink(target.c_str(), (m_ports / name).c_str()), 0);
        m_locks.push_back(testing_support::HoldDisplayLock(m_ports / ("." + name + ".lock"), live));
    };
    struct Row {
        const char* what;
        std::function<void()> prepare;
        std::string port;
        const char* reason;
    };
    const Row rows[] = {
        // A killed display left sim0 and its lock file; its terminal number went to another
        // program since (the test's line stands for it).
        {"dead display's link to a reused terminal", [&] { link("sim0", m_line.path(), false); }, "sim0",
         "no such port (its virtual display is not running)"},
        {"link to /dev/ptmx", [&] { link("ptmx", "/dev/ptmx"); }, "ptmx", "not a serial port"},
        {"link to /dev/null", [&] { link("nul", "/dev/null"); }, "nul", "not a serial port"},
        {"link to /dev/zero", [&] { link("zero", "/dev/zero"); }, "zero", "not a serial port"},
        {"/dev/ptmx named", [] {}, "/dev/ptmx", "not a serial port"},
        {"/dev/zero named", [] {}, "/dev/zero", "not a serial port"},
        {"live link in a folder others may write to", [&] { ASSERT_EQ(chmod(m_ports.c_str(), 0777), 0); }, "guard",
         "other users may write to the folder"},
        {"live link in a folder whose parent others may write to",
         [&] { ASSERT_EQ(chmod(m_ports.parent_path().c_str(), 0757), 0); }, "guard",
         "other users may write to the folder"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        r.prepare();
        const auto list = Send({"--list"});
        EXPECT_EQ(list.out.find(r.port + "\n"), std::string::npos) << list.out;

        const auto result = Send({"--port", r.port, "--text", "6.66"});
        EXPECT_EQ(result.exitCode, 4);
        ExpectOneLineReason(result, "cannot open \"" + r.port + "\": ");
        EXPECT_NE(result.err.find(r.reason), std::string::npos) << result.err;
        EXPECT_TRUE(m_line.ReadAtLeast(0).empty());
        EXPECT_TRUE(m_guard.ReadAtLeast(0).empty());
        chmod(m_ports.c_str(), 0700);
        chmod(m_ports.parent_path().c_str(), 0700);
    }
    // The other program's terminal was not switched to raw mode either.
    termios settings{};
    ASSERT_EQ(tcgetattr(m_line.slave(), &settings), 0);
    EXPECT_NE(settings.c_lflag & ICANON, 0u);
}

// Stalled by flow control, the line takes no byte of the message in time; once it moves
// again, Clear goes out, so that the display is not left inside half a command.
TEST_F(DisplaySend, AMessageCutShortIsFollowedByClear)
{
    const termios before = UsedBefore();
    ASSERT_TRUE(m_line.Stall());
    // Every write begins by flushing the line's input; in packet mode the master is told of
    // each flush. The open and the message's write flush at once, the Clear a time-out later.
    int on = 1;
    ASSERT_EQ(ioctl(m_line.master(), TIOCPKT, &on), 0);
    testing_child::Child child(DISPLAY_SEND_PATH, {"--port", m_line.path(), "--text", "12.50"}, Env());
    auto lastFlush = std::chrono::steady_clock::time_point{};
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;) {
        pollfd p{m_line.master(), POLLIN, 0};
        unsigned char status[64];
        if (poll(&p, 1, 10) <= 0 || read(m_line.master(), status, sizeof status) < 1
            || (status[0] & TIOCPKT_FLUSHREAD) == 0)
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (lastFlush != std::chrono::steady_clock::time_point{} && now - lastFlush > std::chrono::milliseconds(500))
            break;  // the write of Clear has begun
        lastFlush = now;
    }
    int off = 0;
    ASSERT_EQ(ioctl(m_line.master(), TIOCPKT, &off), 0);
    ASSERT_TRUE(m_line.Resume());
    const auto result = child.Collect(std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 5);
    ExpectOneLineReason(result, "timed out");
    EXPECT_EQ(m_line.ReadAtLeast(1), Bytes{0x0C});
    EXPECT_TRUE(LineIsAsBefore(before));
}

TEST_F(DisplaySend, ListShowsVirtualPortsFirstAndTheFirstIsTheDefault)
{
    const auto list = Send({"--list", "--names"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    // Only with the guard in front may a run go without --port: never to a real device.
    ASSERT_EQ(list.out.substr(0, list.out.find('\n')), "guard") << list.out;

    // Beside each name what it is; the names stay the first column of tab-separated
    // lines, as cut -f1 reads them.
    const auto described = Send({"--list"});
    EXPECT_EQ(described.exitCode, 0) << described.err;
    EXPECT_EQ(described.out.substr(0, described.out.find('\n')), "guard\tvirtual display");
    std::string firstColumn;
    std::istringstream lines(described.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 1) << line;
        firstColumn += line.substr(0, line.find('\t')) + "\n";
    }
    EXPECT_EQ(firstColumn, list.out);

    m_guardMayReceive = true;
    const auto result = Send({"--clear"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(m_guard.ReadAtLeast(1), Bytes{0x0C});
}

#ifdef DISPLAY_SIM_PATH
TEST_F(DisplaySend, ListDescribesARunningVirtualDisplay)
{
    testing_child::Setup setup;
    setup.env = {{"XDG_RUNTIME_DIR", m_runtimeDir.string()}};
    testing_child::Child sim(DISPLAY_SIM_PATH, {"--text"}, setup);
    const std::string banner = sim.Line().value_or("");
    ASSERT_EQ(banner.rfind("listening on sim0 (", 0), 0u) << banner;

    const auto list = Send({"--list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out.rfind("guard\tvirtual display\nsim0\tvirtual display\n", 0), 0u) << list.out;

    // And the names alone, for scripts that do not cut.
    const auto names = Send({"--list", "--names"});
    EXPECT_EQ(names.out.rfind("guard\nsim0\n", 0), 0u) << names.out;
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}
#endif

TEST_F(DisplaySend, VersionAnswersLikeTheOtherProgramsAndHelpExplainsUsageExamplesAndExitCodes)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, std::vector<std::string>{"--clear", "--version"}}) {
        const auto result = Send(args);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, "display-send " EXPECTED_VERSION "\n");
        EXPECT_EQ(result.err, "");
    }
    EXPECT_TRUE(m_line.ReadAtLeast(0).empty());

    const auto help = Send({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    for (const char* part : {"--list", "--names", "--port NAME", "--baud RATE", "--hex STRING", "--text TEXT", "--lamp",
                             "--scroll", "--flicker", "--clear", "--version", "Examples:", "Exit status:"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
}

// Output that cannot be written is a failure: a script must not take a lost port list for
// an empty one.
TEST_F(DisplaySend, OutputThatCannotBeWrittenFails)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--list"}, {"--list", "--names"}, {"--help"}, {"--version"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        std::vector<std::string> shell{"-c", "exec \"$0\" \"$@\" > /dev/full", DISPLAY_SEND_PATH};
        shell.insert(shell.end(), args.begin(), args.end());
        const auto result = testing_child::Run("/bin/sh", shell, {{"XDG_RUNTIME_DIR", m_runtimeDir.string()}});
        EXPECT_EQ(result.exitCode, 7);
        ExpectOneLineReason(result, "cannot write the output: No space left on device");
    }
}

// A signal stops the write of a stalled line; the line is put back and released first.
TEST_F(DisplaySend, ASignalLeavesTheLineAsItWasFound)
{
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        const termios before = UsedBefore();
        ASSERT_TRUE(m_line.Stall());
        // 2,000 bytes: the write would wait for seconds.
        testing_child::Child child(DISPLAY_SEND_PATH, {"--port", m_line.path(), "--hex", std::string(4000, '8')},
                                   Env());
        const termios during = SetUpBy(before);
        ASSERT_EQ(cfgetospeed(&during), static_cast<speed_t>(B2400));
        kill(child.pid(), signalNumber);
        EXPECT_EQ(child.Wait(std::chrono::seconds(1)), 128 + signalNumber);
        EXPECT_TRUE(LineIsAsBefore(before)) << "the line was not put back as it was found";
        int exclusive = -1;
        ASSERT_EQ(ioctl(m_line.slave(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        ASSERT_TRUE(m_line.Resume());
        EXPECT_TRUE(m_line.ReadAtLeast(0).empty());
    }
}

// Control characters go out as they are, a character the display cannot show as '?'; either
// with a warning.
TEST_F(DisplaySend, TextTheDisplayWouldNotShowGoesOutWithAWarning)
{
    const auto controls = [](const std::string& names) {
        return "warning: --text holds control characters (" + names + "); the display obeys them as commands";
    };
    struct Row {
        std::string text;
        Bytes sent;
        std::string warning;
    };
    const Row rows[] = {
        {"1\r2", {'1', 0x0D, '2'}, controls("CR")},
        {"\x1b@8", {0x1B, '@', '8'}, controls("ESC")},
        {"\x0c"
         "1\x18\x7f\x0c",
         {0x0C, '1', 0x18, 0x7F, 0x0C},
         controls("FF, CAN, DEL")},
        {"a\tb\n", {'a', 0x09, 'b', 0x0A}, controls("HT, LF")},
        {"1\xF0\x9F\x98\x80", {'1', '?'}, "warning: 1 character of --text "},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        Bytes expected{0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41};
        expected.insert(expected.end(), r.sent.begin(), r.sent.end());
        expected.push_back(0x0D);
        Bytes wire;
        const auto result = SendToLine({"--text", r.text}, &wire, expected.size());
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(wire, expected);
        ExpectOneLineReason(result, r.warning);
    }
}

TEST_F(DisplaySend, OwnTerminalIsRefusedAndLeftAsItWas)
{
    // The pseudo-terminal stands in for the terminal the user types in.
    struct Row {
        std::string port;
        bool controlling;
        bool input;
    };
    PtyPair own;
    ASSERT_TRUE(own.ok());
    const Row rows[] = {
        {"/dev/tty", true, false},
        {own.path(), true, false},
        {own.path(), false, true},
    };
    termios before{};
    ASSERT_TRUE(own.LineSettings(&before));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.port + (r.controlling ? " controlling" : "") + (r.input ? " input" : ""));
        const auto result = testing_child::RunInSession(DISPLAY_SEND_PATH, {"--port", r.port, "--text", "12.50"},
                                                        {{"XDG_RUNTIME_DIR", m_runtimeDir.string()}}, own.path(),
                                                        r.controlling, r.input);
        EXPECT_EQ(result.exitCode, 4);
        ExpectOneLineReason(result, "cannot open \"" + r.port + "\": it is your own terminal, not a display");
        EXPECT_TRUE(own.ReadAtLeast(0).empty());
        termios after{};
        ASSERT_TRUE(own.LineSettings(&after));
        EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0) << "the terminal's settings changed";
    }

    // Another terminal is a line like any other, whatever controls the sender.
    const auto result =
        testing_child::RunInSession(DISPLAY_SEND_PATH, {"--port", m_line.path(), "--clear"},
                                    {{"XDG_RUNTIME_DIR", m_runtimeDir.string()}}, own.path(), true, true);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(m_line.ReadAtLeast(1), Bytes{0x0C});
}

}  // namespace
