// display-sim as a user starts it: a process with its own virtual-port folder, bytes written
// to its link, its lines read back. Waits are bounded reads, never sleeps.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "tests/support/child_process.h"
#include "tests/support/device_server.h"
#include "serial/serial_port.h"
#include "serial/native_handle.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 10000;

using testing_support::TempFolder;

// display-sim with these variables set in its environment and those removed; with a user,
// it runs as that user.
struct SimProcess : testing_child::Child {
    SimProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
               const passwd* user = nullptr, const std::vector<std::string>& unset = {})
        : Child(DISPLAY_SIM_PATH, args, [&] {
              testing_child::Setup setup;
              setup.env = env, setup.unset = unset, setup.user = user;
              return setup;
          }())
    {
    }
};

void WriteTo(const std::string& path, const std::string& bytes)
{
    serial::OwnedHandle fd(::open(path.c_str(), O_WRONLY | O_NOCTTY));
    ASSERT_TRUE(fd.valid()) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

class TextMode : public ::testing::Test {
protected:
    TempFolder runtime;
    std::string ports() const { return runtime.path() + "/display-test/ports"; }
    std::map<std::string, std::string> env() const { return {{"XDG_RUNTIME_DIR", runtime.path()}}; }
};

// When nobody reads its lines any more, the display ends tidily at the next message.
TEST_F(TextMode, PrintsEachNewStateOfWhatArrivesOnSim0)
{
    SimProcess sim({"--text"}, env());
    ASSERT_TRUE(sim.started());
    const auto banner = sim.Line();
    ASSERT_TRUE(banner);
    EXPECT_EQ(banner->rfind("listening on sim0 (/dev/pts/", 0), 0u) << *banner;
    EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
    ASSERT_TRUE(fs::is_symlink(ports() + "/sim0"));

    // Each message, and a line for every command in it that changed the state.
    const struct {
        std::string bytes;
        std::vector<std::string> lines;
    } rows[] = {
        {"\x0c\x1bs1\x1bQA12.50\r", {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still"}},
        {"\x0c\x1bQD12345678\r",
         {"[        ] lamps=Price mode=still", "[12345678] lamps=Price mode=scrolling text=\"12345678\""}},
        {"\x0c\x1b\x45\x05\x1bQA8.8.8.8.8.8.8.8.\r",
         {"[        ] lamps=Price mode=still", "[        ] lamps=Price mode=flickering",
          "[8.8.8.8.8.8.8.8.] lamps=Price mode=flickering"}},
        {"\x1bs0", {"[8.8.8.8.8.8.8.8.] lamps=none mode=flickering"}},
        {"\x1bQA0.1234567\r", {"[0.1234567] lamps=none mode=flickering"}},
        {"\x0c", {"[        ] lamps=none mode=still"}},
    };
    for (const auto& r : rows) {
        WriteTo(ports() + "/sim0", r.bytes);
        for (const std::string& line : r.lines)
            EXPECT_EQ(sim.Line(), line);
    }
    sim.CloseOutput();
    WriteTo(ports() + "/sim0", "\x1bQA1\r");
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
    EXPECT_TRUE(fs::is_empty(ports()));
}

// Nobody reads the lines, yet the display is not: a signal still ends it at once, and its
// link goes.
TEST_F(TextMode, EndsOnASignalWhileItsOutputIsNotRead)
{
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        SimProcess sim({"--text"}, env());
        ASSERT_TRUE(sim.Line());
        // New states until the display takes no more: its output is full, and it waits.
        serial::OwnedHandle line(::open((ports() + "/sim0").c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK));
        ASSERT_TRUE(line.valid());
        const std::string states = "\x1bQA1\r\x1bQA2\r";
        pollfd room{line.get(), POLLOUT, 0};
        for (int i = 0; i < 1000000 && ::poll(&room, 1, 500) > 0; ++i)
            (void)!::write(line.get(), states.data(), states.size());
        ASSERT_EQ(::poll(&room, 1, 0), 0) << "the display kept reading";
        ::kill(sim.pid(), signalNumber);
        EXPECT_EQ(sim.Wait(std::chrono::seconds(1)), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
    }
}

// Output that cannot be written is a failure, said on standard error.
TEST_F(TextMode, OutputThatCannotBeWrittenFails)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--text"}, {"--help"}, {"--version"}}) {
        SCOPED_TRACE(args.front());
        std::vector<std::string> shell{"-c", "exec \"$0\" \"$@\" > /dev/full", DISPLAY_SIM_PATH};
        shell.insert(shell.end(), args.begin(), args.end());
        const auto result = testing_child::Run("/bin/sh", shell, env());
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "display-sim: cannot write the output: No space left on device\n");
        EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
    }
}

TEST_F(TextMode, SecondDisplayTakesSim1AndCtrlCRemovesIt)
{
    SimProcess first({"--text"}, env());
    ASSERT_TRUE(first.Line());
    SimProcess second({"--text"}, env());
    const auto banner = second.Line();
    ASSERT_TRUE(banner);
    EXPECT_EQ(banner->rfind("listening on sim1 (", 0), 0u) << *banner;

    WriteTo(ports() + "/sim1", "\x1bQA2\r");
    EXPECT_EQ(second.Line(), "[        ] lamps=none mode=still");
    EXPECT_EQ(second.Line(), "[       2] lamps=none mode=still");

    EXPECT_EQ(second.Stop(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim1")));
    EXPECT_TRUE(fs::is_symlink(ports() + "/sim0"));
    EXPECT_EQ(first.Stop(SIGHUP), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
}

// Every rate the sender opens a port at, the display listens at, and the line runs at it;
// a rate the sender refuses, the display refuses too. The display ends when the line closes.
TEST_F(TextMode, ListensOnAPortAtEveryRateTheSenderSendsAt)
{
    const struct {
        const char* baud;
        speed_t speed;  // B0: refused
    } rows[] = {
        {"300", B300}, {"2400", B2400}, {"9600", B9600}, {"115200", B115200}, {"1000000", B1000000}, {"2401", B0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.baud);
        testing_support::PtyPair<> line;
        ASSERT_TRUE(line.ok());
        const std::string& name = line.path();
        const auto sent = testing_child::Run(DISPLAY_SEND_PATH, {"--port", name, "--baud", r.baud, "--text", "7"});
        EXPECT_EQ(sent.exitCode == 0, r.speed != B0) << sent.err;

        SimProcess sim({"--text", "--port", name, std::string("--baud=") + r.baud}, env());
        if (r.speed == B0) {
            EXPECT_EQ(sim.Wait(), 1);
            EXPECT_NE(sim.Errors().find("unsupported baud rate 2401"), std::string::npos);
            continue;
        }
        EXPECT_EQ(sim.Line(), std::string("listening on ") + name + " (" + name + ", " + r.baud + " baud)");
        EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
        termios tio{};
        ASSERT_TRUE(line.LineSettings(&tio));
        EXPECT_EQ(::cfgetispeed(&tio), r.speed);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        if (r.speed != B9600) {
            EXPECT_EQ(sim.Stop(SIGTERM), 0);
            continue;
        }
        ASSERT_EQ(::write(line.master(), "\x1bs3\x1bQA7\r", 8), 8);
        EXPECT_EQ(sim.Line(), "[        ] lamps=Collect mode=still");
        EXPECT_EQ(sim.Line(), "[       7] lamps=Collect mode=still");
        // A quiet line is no closed one: the next message still shows.
        ASSERT_EQ(::write(line.master(), "\x1bQA12\r", 6), 6);
        EXPECT_EQ(sim.Line(), "[      12] lamps=Collect mode=still");
        EXPECT_FALSE(fs::exists(ports()));  // nothing published for a real port
        line.CloseMaster();
        EXPECT_EQ(sim.Line(), std::nullopt);
        EXPECT_EQ(sim.Wait(), 1);
        EXPECT_NE(sim.Errors().find("the line was closed"), std::string::npos);
    }
}

// However the bytes of several messages arrive, and even right after the banner, every
// message that changes the state prints its line, in order. A sender whose line settings a
// real display at the display's rate could not read is marked, in a line before the states
// of what it sent.
TEST_F(TextMode, MessagesWrittenTogetherEachPrintTheirState)
{
    const struct {
        const char* what;
        std::string bytes;
        std::size_t piece;  // written in pieces of this many bytes; 0: in one write
        std::vector<std::string> lines;
        std::vector<std::string> args = {"--text"};
        speed_t speed = B2400;  // the sender's line
        tcflag_t frame = CS8;   // data bits, parity, stop bits
    } rows[] = {
        {"text then Clear: the display ends as it began",
         "\x1bQA1\r\x0c",
         0,
         {"[       1] lamps=none mode=still", "[        ] lamps=none mode=still"}},
        {"send data, then another lamp",
         "\x0c\x1bs1\x1bQA12.50\r\x1bs2",
         0,
         {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still",
          "[    12.50] lamps=Total mode=still"}},
        {"the same, byte by byte",
         "\x0c\x1bs1\x1bQA12.50\r\x1bs2",
         1,
         {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still",
          "[    12.50] lamps=Total mode=still"}},
        {"scroll, flicker, lamp dark, Clear, in pieces of three",
         "\x1bs3\x0c\x1bQD12\r\x0c\x1b\x45\x05\x1bQA8.\r\x1bs0\x18",
         3,
         {"[        ] lamps=Collect mode=still", "[      12] lamps=Collect mode=scrolling text=\"12\"",
          "[        ] lamps=Collect mode=still", "[        ] lamps=Collect mode=flickering",
          "[       8.] lamps=Collect mode=flickering", "[       8.] lamps=none mode=flickering",
          "[        ] lamps=none mode=still"}},
        {"two texts, a second Clear changes nothing",
         "\x1bQA1\r\x1bQA2\r\x0c\x0c\x1bQA3\r",
         0,
         {"[       1] lamps=none mode=still", "[       2] lamps=none mode=still", "[        ] lamps=none mode=still",
          "[       3] lamps=none mode=still"}},
        // A sender the display could not read: its warning, and no state from what it sent.
        {"9600 to the default display",
         "\x1bQA7\r",
         0,
         {"sender at 9600 baud: a display at 2400 would show garbage"},
         {"--text"},
         B9600},
        {"9600 to a display at 9600",
         "\x1bQA7\r",
         0,
         {"[       7] lamps=none mode=still"},
         {"--text", "--baud", "9600"},
         B9600},
        {"2400 to a display at 9600",
         "\x1bQA7\r",
         0,
         {"sender at 2400 baud: a display at 9600 would show garbage"},
         {"--text", "--baud=9600"}},
        // A pseudo-terminal of recent kernels keeps neither parity nor 7 data bits (the
        // verdict on those is tested without one); stop bits it keeps.
        {"a second stop bit does no harm",
         "\x1bQA7\r",
         0,
         {"[       7] lamps=none mode=still"},
         {"--text"},
         B2400,
         CS8 | CSTOPB},
        {"9600 8N2",
         "\x1bQA7\r",
         0,
         {"sender at 9600 baud: a display at 2400 would show garbage"},
         {"--text"},
         B9600,
         CS8 | CSTOPB},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        SimProcess sim(r.args, env());
        const auto banner = sim.Line();
        ASSERT_TRUE(banner);
        ASSERT_EQ(banner->rfind("listening on sim0", 0), 0u) << *banner;
        {
            // At once, before even the first state line is read.
            serial::OwnedHandle client(::open((ports() + "/sim0").c_str(), O_RDWR | O_NOCTTY));
            ASSERT_TRUE(client.valid());
            termios tio{};
            ASSERT_EQ(::tcgetattr(client.get(), &tio), 0);
            ::cfmakeraw(&tio);
            tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB)) | r.frame;
            ::cfsetspeed(&tio, r.speed);
            ASSERT_EQ(::tcsetattr(client.get(), TCSANOW, &tio), 0);
            const std::size_t piece = r.piece == 0 ? r.bytes.size() : r.piece;
            for (std::size_t at = 0; at < r.bytes.size(); at += piece) {
                const std::size_t n = std::min(piece, r.bytes.size() - at);
                ASSERT_EQ(::write(client.get(), r.bytes.data() + at, n), static_cast<ssize_t>(n));
            }
        }
        EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
        for (const std::string& line : r.lines)
            EXPECT_EQ(sim.Line(), line);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
        EXPECT_EQ(sim.Line(), std::nullopt);  // and no line more
        EXPECT_TRUE(fs::is_empty(ports()));   // neither link nor lock left
    }
}

// The real sender at 9600, then at 2400: a display reading at 2400 takes only the second.
// The sender leaves a display's own terminal at its settings, so the display still finds
// them once the sender has gone.
TEST_F(TextMode, ASenderAtAnotherRateIsNotTaken)
{
    SimProcess sim({"--text"}, env());
    const auto banner = sim.Line();
    ASSERT_TRUE(banner);
    EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
    const auto fast = testing_child::Run(DISPLAY_SEND_PATH, {"--port", "sim0", "--baud", "9600", "--text", "9"}, env());
    EXPECT_EQ(fast.exitCode, 0) << fast.err;
    EXPECT_EQ(sim.Line(), "sender at 9600 baud: a display at 2400 would show garbage");
    const auto right = testing_child::Run(DISPLAY_SEND_PATH, {"--port", "sim0", "--text", "1"}, env());
    EXPECT_EQ(right.exitCode, 0) << right.err;
    EXPECT_EQ(sim.Line(), "[       1] lamps=none mode=still");
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

// A display killed outright leaves its link and lock file; its terminal's number then goes
// to another program. The link must lead nobody there.
TEST_F(TextMode, DeadDisplaysLinkToAReusedTerminalIsNeitherListedNorWritten)
{
    std::string deadTerminal;
    {
        SimProcess dead({"--text"}, env());
        const auto banner = dead.Line();
        ASSERT_TRUE(banner);
        deadTerminal = banner->substr(banner->find('(') + 1);
        deadTerminal.resize(deadTerminal.find(')'));
        EXPECT_EQ(dead.Stop(SIGKILL), -1);
    }
    ASSERT_TRUE(fs::is_symlink(ports() + "/sim0"));
    ASSERT_TRUE(fs::exists(ports() + "/.sim0.lock"));

    // Another program's terminal; the kernel hands out the lowest free number, most likely
    // the dead display's. If not, the link is made to name it, as it would be.
    testing_support::PtyPair<> line;
    const std::string& name = line.path();
    if (deadTerminal != name) {
        fs::remove(ports() + "/sim0");
        fs::create_symlink(name, ports() + "/sim0");
    }
    termios before{};
    ASSERT_EQ(line.LineSettings(&before), true);

    const auto list = testing_child::Run(DISPLAY_SEND_PATH, {"--list"}, env());
    EXPECT_EQ(list.out.find("sim0"), std::string::npos) << list.out;
    const auto sent = testing_child::Run(DISPLAY_SEND_PATH, {"--port", "sim0", "--text", "6.66"}, env());
    EXPECT_EQ(sent.exitCode, 4) << sent.err;
    EXPECT_NE(sent.err.find("its virtual display is not running"), std::string::npos) << sent.err;

    char buf[64];
    EXPECT_EQ(::read(line.master(), buf, sizeof buf), -1);  // nothing arrived
    termios after{};
    ASSERT_EQ(line.LineSettings(&after), true);
    EXPECT_EQ(after.c_lflag, before.c_lflag);  // not switched to raw mode
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));

    // The next display clears the link and takes the name.
    SimProcess next({"--text"}, env());
    const auto banner = next.Line();
    ASSERT_TRUE(banner);
    EXPECT_EQ(banner->rfind("listening on sim0 (", 0), 0u) << *banner;
    EXPECT_NE(fs::read_symlink(ports() + "/sim0").string(), name);
}

// A client killed while it held sim0 leaves the terminal in exclusive mode; the display
// clears it, so a user's next client opens it. Root ignores exclusive mode, so as root the
// display and its clients run as the user nobody.
TEST_F(TextMode, KilledClientLeavesSim0UsableForAnotherUser)
{
    const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    if (::geteuid() == 0 && nobody == nullptr)
        GTEST_SKIP() << "as root the test needs the user nobody to switch to, and there is none";
    if (nobody) {
        ASSERT_EQ(::chown(runtime.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    SimProcess sim({"--text"}, env(), nobody);
    const auto banner = sim.Line();
    ASSERT_TRUE(banner) << sim.Errors();

    // A child (as nobody when root): opens sim0 as the panel would, says whether it could,
    // then waits to be killed (holds) or ends (probe).
    const auto client = [nobody, this](bool holds) {
        int ready[2];
        EXPECT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
            if (nobody && !testing_child::BecomeUser(nobody))
                ::_exit(2);
            serial::CSerialPort port;
            const bool opened = port.Open("sim0", 2400);
            const char answer = opened ? '1' : port.LastOpenFailure().kind == serial::OpenError::InUse ? 'u' : '0';
            (void)!::write(ready[1], &answer, 1);
            if (holds && opened)
                for (;;)
                    ::pause();
            port.Close();  // a client that ends properly; _exit runs no destructor
            ::_exit(opened ? 0 : 1);
        }
        ::close(ready[1]);
        char answer = '?';
        pollfd p{ready[0], POLLIN, 0};
        if (::poll(&p, 1, kWaitMs) == 1)
            (void)!::read(ready[0], &answer, 1);
        ::close(ready[0]);
        return std::make_pair(pid, answer);
    };
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        const auto [holder, held] = client(true);
        ASSERT_EQ(held, '1');
        const auto [refused, answer] = client(false);  // while it holds, nobody else gets in
        EXPECT_EQ(answer, 'u');
        ::waitpid(refused, nullptr, 0);
        ::kill(holder, signalNumber);
        ::waitpid(holder, nullptr, 0);

        // The display looks four times a second; a few seconds bound the wait.
        char opened = '?';
        for (int attempt = 0; attempt < 40 && opened != '1'; ++attempt) {
            const auto [probe, result] = client(false);
            ::waitpid(probe, nullptr, 0);
            opened = result;
            if (opened != '1')
                ::poll(nullptr, 0, 100);
        }
        EXPECT_EQ(opened, '1');
    }
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

// The resident memory of a process, from the kernel's own count: "VmRSS", "VmHWM" (peak).
long KilobytesOf(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// The window through a flood of Clear bytes: its log keeps a bounded number of bounded
// entries, so the process stays small.
TEST(Window, StaysUnder100MbThroughAFlood)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine: the count would be its own";
#endif
    TempFolder runtime;
    SimProcess sim({}, {{"XDG_RUNTIME_DIR", runtime.path()}, {"QT_QPA_PLATFORM", "offscreen"}});
    const auto banner = sim.Line();
    ASSERT_TRUE(banner) << sim.Errors();
    const long atStart = KilobytesOf(sim.pid(), "VmRSS");

    constexpr std::size_t kFlood = 25 * 1024 * 1024;
    const std::string block(64 * 1024, '\x0c');
    serial::OwnedHandle client(::open((runtime.path() + "/display-test/ports/sim0").c_str(), O_WRONLY | O_NOCTTY));
    ASSERT_TRUE(client.valid());
    // The terminal buffers little: each write waits for the display to read.
    for (std::size_t sent = 0; sent < kFlood; sent += block.size())
        ASSERT_EQ(::write(client.get(), block.data(), block.size()), static_cast<ssize_t>(block.size()));

    const long peak = KilobytesOf(sim.pid(), "VmHWM");
    RecordProperty("VmRSS_at_start_kB", std::to_string(atStart));
    RecordProperty("VmHWM_kB", std::to_string(peak));
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 100 * 1024) << "started at " << atStart << " kB";
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

// display-sim on the network, its port from its first line.
struct ListeningSim : SimProcess {
    explicit ListeningSim(const std::vector<std::string>& args) : SimProcess(args, {})
    {
        banner = Line().value_or("");
        port = banner.substr(banner.rfind(':') + 1);
    }
    std::string banner;
    std::string port;
};

// A plain TCP connection to the display on the loopback.
serial::OwnedHandle Connected(const std::string& port)
{
    serial::OwnedHandle fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(std::stoi(port)));
    if (!fd.valid() || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return {};
    return fd;
}

void SendAll(int fd, const std::string& bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        ASSERT_GT(n, 0) << std::strerror(errno);
        at += static_cast<std::size_t>(n);
    }
}

std::string Hex(const std::string& bytes)
{
    std::string hex;
    for (const char c : bytes)
        hex += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4], hex += "0123456789abcdef"[c & 15];
    return hex;
}

bool HavePyserial()
{
    return testing_child::Run(testing_support::kSystemPython, {"-c", "import serial"}).exitCode == 0;
}

// pyserial's RFC 2217 client opens the display at a rate, writes the bytes and leaves.
testing_child::Result PyserialSends(const std::string& port, int baud, const std::string& bytes)
{
    return testing_child::Run(
        testing_support::kSystemPython,
        {"-c",
         "import serial, sys\n"
         "s = serial.serial_for_url('rfc2217://127.0.0.1:' + sys.argv[1], baudrate=int(sys.argv[2]))\n"
         "s.write(bytes.fromhex(sys.argv[3])); s.flush(); s.close()\n",
         port, std::to_string(baud), Hex(bytes)});
}

// The same bytes and lines as on the display's own terminal: pyserial's RFC 2217 client at
// the display's rate and at another, and raw TCP, where the sender's line is not seen.
TEST(Listen, PrintsTheStatesAPseudoTerminalWouldGive)
{
    if (!HavePyserial())
        GTEST_SKIP() << "no pyserial for " << testing_support::kSystemPython;
    const struct {
        const char* url;
        int baud;  // pyserial's rate; 0: a plain TCP connection
        std::vector<std::string> args;
        std::vector<std::string> lines;
        std::string err;  // in standard error
    } rows[] = {
        {"rfc2217://127.0.0.1:0",
         2400,
         {"--baud", "2400"},
         {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still"},
         ""},
        {"rfc2217://:0", 9600, {}, {"sender at 9600 baud: a display at 2400 would show garbage"}, ""},
        {"rfc2217://127.0.0.1:0",
         9600,
         {"--baud=9600"},
         {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still"},
         ""},
        {"tcp://127.0.0.1:0",
         0,
         {},
         {"[        ] lamps=Price mode=still", "[    12.50] lamps=Price mode=still"},
         "the sender's line cannot be seen over raw TCP; this display reads 2400 8N1"},
    };
    const std::string message = "\x0c\x1bs1\x1bQA12.50\r";
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.url) + " at " + std::to_string(r.baud));
        std::vector<std::string> args{"--listen", r.url, "--text"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        ListeningSim sim(args);
        EXPECT_EQ(sim.banner.rfind(std::string(r.url).substr(0, 3) == "tcp" ? "listening on tcp://127.0.0.1:"
                                                                            : "listening on rfc2217://127.0.0.1:",
                                   0),
                  0u)
            << sim.banner;
        EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
        if (r.baud == 0) {
            SendAll(Connected(sim.port).get(), message);
        } else {
            const auto sent = PyserialSends(sim.port, r.baud, message);
            EXPECT_EQ(sent.exitCode, 0) << sent.err;
        }
        for (const std::string& line : r.lines)
            EXPECT_EQ(sim.Line(), line);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
        EXPECT_EQ(sim.Line(), std::nullopt);  // and no line more
        EXPECT_EQ(sim.Errors(), r.err.empty() ? "" : "display-sim: " + r.err + "\n");
    }
}

// One sender at a time: a second connection is closed at once, and gets in once the first
// has left.
TEST(Listen, RefusesASecondClientWhileTheFirstIsOn)
{
    ListeningSim sim({"--listen", "tcp://127.0.0.1:0", "--text"});
    ASSERT_EQ(sim.Line(), "[        ] lamps=none mode=still");
    serial::OwnedHandle first = Connected(sim.port);
    SendAll(first.get(), "\x1bQA1\r");
    EXPECT_EQ(sim.Line(), "[       1] lamps=none mode=still");
    const serial::OwnedHandle second = Connected(sim.port);
    ASSERT_TRUE(second.valid());
    pollfd closed{second.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&closed, 1, kWaitMs), 1);
    char byte = 0;
    EXPECT_EQ(::recv(second.get(), &byte, 1, 0), 0);
    SendAll(first.get(), "\x1bQA2\r");
    EXPECT_EQ(sim.Line(), "[       2] lamps=none mode=still");
    first.reset();
    SendAll(Connected(sim.port).get(), "\x1bQA3\r");
    EXPECT_EQ(sim.Line(), "[       3] lamps=none mode=still");
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

std::size_t DescriptorsOf(pid_t pid)
{
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(fds), fs::directory_iterator()));
}

// A flood of data and a subnegotiation that never ends, 50 MB in all, leave the display
// small; a thousand clients one after another leave no descriptor behind, and the display
// still reads the next one.
TEST(Listen, StaysBoundedThroughFloodsAndAThousandClients)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine: the count would be its own";
#endif
    ListeningSim sim({"--listen", "rfc2217://127.0.0.1:0", "--text"});
    ASSERT_EQ(sim.Line(), "[        ] lamps=none mode=still");
    const std::size_t descriptors = DescriptorsOf(sim.pid());
    const std::string clears(64 * 1024, '\x0c');
    const std::string endless(64 * 1024, 'x');  // after IAC SB COM-PORT-OPTION
    for (const std::string& opening : {std::string(), std::string("\xff\xfa\x2c", 3)}) {
        serial::OwnedHandle client = Connected(sim.port);
        ASSERT_TRUE(client.valid());
        SendAll(client.get(), opening);
        for (std::size_t sent = 0; sent < 25 * 1024 * 1024; sent += clears.size())
            SendAll(client.get(), opening.empty() ? clears : endless);
    }
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(Connected(sim.port).valid()) << i;
    SendAll(Connected(sim.port).get(), "\x1bQA4\r");
    EXPECT_EQ(sim.Line(), "[       4] lamps=none mode=still");  // every earlier client read to its end
    // The last client's leaving may come a moment after its message.
    for (int look = 0; look < 100 && DescriptorsOf(sim.pid()) != descriptors; ++look)
        ::poll(nullptr, 0, 50);
    EXPECT_EQ(DescriptorsOf(sim.pid()), descriptors);
    EXPECT_LT(KilobytesOf(sim.pid(), "VmHWM"), 100 * 1024);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

// A pseudo-terminal that ser2net serves: the display reads what arrives on it, over RFC
// 2217 with the line at the display's rate, over raw TCP at the server's own; the server's
// end is the line's.
TEST(ServedPort, PrintsWhatTheRemoteLineReceives)
{
    if (!testing_support::HaveSer2net())
        GTEST_SKIP() << "no " << testing_support::kSer2net;
    using Accepter = testing_support::DeviceServer::Accepter;
    const struct {
        Accepter accepter;
        speed_t speed;    // the remote line's while the display reads
        std::string err;  // in standard error before the line's end
    } rows[] = {
        {Accepter::Rfc2217, B2400, ""},
        {Accepter::RawTcp, B9600, "the sender's line cannot be seen over raw TCP; this display reads 2400 8N1\n"},
    };
    for (const auto& r : rows) {
        testing_support::PtyPair<> line;
        testing_support::DeviceServer server(line.path(), r.accepter);
        ASSERT_TRUE(server.Running());
        SCOPED_TRACE(server.Name());
        SimProcess sim({"--text", "--port", server.Name()}, {});
        EXPECT_EQ(sim.Line(), "listening on " + server.Name() + " (2400 baud)");
        EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
        // The server empties the line's input once it has set it up, a moment after its
        // client came: the lamp goes again until it shows.
        std::optional<std::string> lamp;
        for (int tries = 0; tries < 50 && !lamp; ++tries) {
            ASSERT_EQ(::write(line.master(), "\x1bs1", 3), 3);
            lamp = sim.Line(std::chrono::milliseconds(200));
        }
        EXPECT_EQ(lamp, "[        ] lamps=Price mode=still");
        termios tio{};
        ASSERT_TRUE(line.LineSettings(&tio));
        EXPECT_EQ(::cfgetispeed(&tio), r.speed);
        ASSERT_EQ(::write(line.master(), "\x1bQA12.50\r", 9), 9);
        EXPECT_EQ(sim.Line(), "[    12.50] lamps=Price mode=still");
        server.Kill();
        EXPECT_EQ(sim.Line(), std::nullopt);
        EXPECT_EQ(sim.Wait(), 1);
        EXPECT_EQ(sim.Errors(), (r.err.empty() ? "" : "display-sim: " + r.err) + "display-sim: \"" + server.Name()
                                    + "\": the line was closed\n");
    }
}

TEST(CommandLine, Answers)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> unset;  // removed from the environment
        int status;
        std::string out;  // in the first line of standard output; "": no output at all
        std::string err;  // in standard error; "": nothing there
    } rows[] = {
        {{"--help"}, {}, 0, "Usage: display-sim", ""},
        {{"-h"}, {}, 0, "Usage: display-sim", ""},
        {{"--version"}, {}, 0, "display-sim 1.", ""},
        {{"--version", "--text"}, {}, 0, "display-sim 1.", ""},
        {{"--frobnicate"}, {}, 2, "", "Unknown option 'frobnicate'.\nTry 'display-sim --help'."},
        {{"--lang", "fr", "--text"}, {}, 2, "", "display-sim: --lang takes en or zh, not \"fr\""},
        {{"--lang=zh", "--version"}, {}, 0, "display-sim 1.", ""},
        {{"--text", "stray"}, {}, 2, "", "unexpected argument: stray"},
        {{"--text", "--baud", "2401"}, {}, 1, "", "unsupported baud rate 2401"},
        {{"--port"}, {}, 2, "", "Missing value after '--port'"},
        {{"--port="}, {}, 2, "", "--port needs a port name"},
        {{"--port=", "--text"}, {}, 2, "", "--port needs a port name"},
        {{"--listen", "rfc2217://:0", "--port", "sim0"}, {}, 2, "", "--listen and --port cannot be given together"},
        {{"--listen", "ftp://127.0.0.1:1"}, {}, 2, "", "--listen takes rfc2217://[ADDRESS]:PORT or tcp://"},
        {{"--tex"}, {}, 2, "", "Unknown option 'tex'.\n"},
        {{"--text=1"}, {}, 2, "", "Unexpected value after '--text'.\n"},
        {{"--port", "tcp://127.0.0.1"}, {}, 2, "", "--port takes rfc2217://HOST:PORT or tcp://HOST:PORT: "},
        {{"--text", "--port", "tcp://127.0.0.1:1"}, {}, 1, "", "\"tcp://127.0.0.1:1\": connection refused"},
        {{"--port", "sim0", "--baud", "fast"}, {}, 2, "", "not a baud rate: fast"},
        {{"--port", "sim0", "--baud", "+300"}, {}, 2, "", "not a baud rate: +300"},
        {{}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, 2, "", "--text prints the display instead"},
        {{"--text", "--port", "../escape"}, {}, 1, "", "not a serial port"},
        {{"--text", "--port", "../bad\nname\x1b[2J"},
         {},
         1,
         "",
         "display-sim: \"../bad\\nname\\x1B[2J\": not a serial port\n"},
    };
    for (const auto& r : rows) {
        SimProcess sim(r.args, {}, nullptr, r.unset);
        const std::string first = sim.Line().value_or("");
        EXPECT_EQ(sim.Wait(), r.status) << r.args.size();
        EXPECT_TRUE(r.out.empty() ? first.empty() : first.find(r.out) != std::string::npos) << first;
        const std::string errors = sim.Errors();
        EXPECT_TRUE(r.err.empty() ? errors.empty() : errors.find(r.err) != std::string::npos) << errors;
    }
}

}  // namespace
