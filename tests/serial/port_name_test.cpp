#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>
#include <vector>

#include "serial/cut_message.h"
#include "serial/network_name.h"
#include "serial/port_discovery.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"

namespace serial {
namespace {

// The one reading of a typed rate, for the sender, the virtual display and the panel.
TEST(BaudRate, DigitsOnlyWithinRange)
{
    const struct {
        const char* text;
        std::uint32_t baud;  // 0: refused
    } cases[] = {
        {"300", 300},  {"2400", 2400}, {"115200", 115200}, {"0300", 300},     {"4294967295", 4294967295u},
        {"", 0},       {"0", 0},       {" 9600", 0},       {"9600 ", 0},      {"+9600", 0},
        {"-1", 0},     {"9600x", 0},   {"96 00", 0},       {"4294967296", 0}, {"99999999999", 0},
        {"0x2400", 0}, {"9.6", 0},
    };
    for (const auto& c : cases) {
        std::uint32_t baud = 7;
        EXPECT_EQ(ParseBaudRate(c.text, &baud), c.baud != 0) << '"' << c.text << '"';
        EXPECT_EQ(baud, c.baud != 0 ? c.baud : 7u) << '"' << c.text << '"';
    }
}

TEST(OpenFailure, InWords)
{
    const struct {
        OpenFailure failure;
        std::uint32_t baud;
        const char* words;
    } cases[] = {
        {{OpenError::UnsupportedBaud, 0, {}}, 300, "unsupported baud rate 300"},
        {{OpenError::NoSuchPort, 2, "No such file or directory"}, 2400, "no such port (No such file or directory)"},
        {{OpenError::PermissionDenied, 13, "Permission denied"}, 2400, "permission denied"},
        {{OpenError::InUse, 11, "Resource temporarily unavailable"},
         2400,
         "in use by another program (Resource temporarily unavailable)"},
        {{OpenError::BadName, 0, {}}, 2400, "not a serial port"},
        {{OpenError::BadName, 21, "a folder"}, 2400, "not a serial port (a folder)"},
        {{OpenError::KernelConsole, 0, "the kernel writes its messages there"},
         2400,
         "it is the kernel's console (the kernel writes its messages there)"},
        {{OpenError::Other, 5, "Input/output error"}, 2400, "cannot open the port (Input/output error)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeOpenFailure(c.failure, c.baud), c.words);
}

// A write waits longer than its bytes take on the wire (10 bits each, worked out by hand
// below), and not absurdly longer; a stall ends it within seconds, whatever its length.
TEST(WriteTimeout, LongerThanTheWireTime)
{
    using std::chrono::milliseconds;
    const struct {
        std::uint32_t baud;
        std::uint32_t count;
        milliseconds wire;
    } cases[] = {
        {50, 13, milliseconds(2600)}, {50, 1, milliseconds(200)},        {300, 308, milliseconds(10267)},
        {2400, 13, milliseconds(55)}, {2400, 2000, milliseconds(8334)},  {9600, 65535, milliseconds(68266)},
        {115200, 1, milliseconds(1)}, {4000000, 4096, milliseconds(11)}, {2400, 0xFFFFFFFFu, milliseconds(17895697067)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " bytes at " + std::to_string(c.baud));
        EXPECT_GT(WriteTimeout(c.baud, c.count), c.wire);
        EXPECT_LT(WriteTimeout(c.baud, c.count), 3 * c.wire + milliseconds(2000));
    }
    // Without progress: longer than the 16 bytes a UART holds take to leave, at most seconds
    // on a line of ordinary speed.
    const struct {
        std::uint32_t baud;
        milliseconds fifo;
        milliseconds atMost;
    } stalls[] = {
        {50, milliseconds(3200), milliseconds(12000)},
        {2400, milliseconds(67), milliseconds(5000)},
        {115200, milliseconds(2), milliseconds(5000)},
    };
    for (const auto& s : stalls) {
        EXPECT_GT(StallTimeout(s.baud), s.fifo) << s.baud;
        EXPECT_GT(StallTimeout(s.baud), milliseconds(1000)) << s.baud;
        EXPECT_LT(StallTimeout(s.baud), s.atMost) << s.baud;
    }
    // 2,000 bytes on a stalled line at 2400 baud: given up on long before their deadline.
    EXPECT_LT(StallTimeout(2400) * 3, WriteTimeout(2400, 2000));
}

// User input in a message: one line, nothing a terminal obeys; printable UTF-8 unchanged.
TEST(Quoted, EscapesWhatATerminalWouldObey)
{
    const struct {
        std::string text;
        const char* quoted;
    } cases[] = {
        {"ttyUSB0", R"("ttyUSB0")"},
        {"", R"("")"},
        {"tty\nS0", R"("tty\nS0")"},
        {"a\r\tb", R"("a\r\tb")"},
        {"\x1b[2J\x07", R"("\x1B[2J\x07")"},
        {std::string("a\0b", 3), R"("a\x00b")"},
        {"\x7f", R"("\x7F")"},
        {"say \"hi\" \\", R"("say \"hi\" \\")"},
        {"\xE6\x98\xBE\xE7\xA4\xBA\xE5\xB1\x8F", "\"\xE6\x98\xBE\xE7\xA4\xBA\xE5\xB1\x8F\""},  // 显示屏
        {"\xC2\x9B"
         "31m",
         R"("\u009B31m")"},            // CSI as one character
        {"\xC2\xA0", "\"\xC2\xA0\""},  // no-break space is text
        {"\x9B"
         "31m",
         R"("\x9B31m")"},                       // CSI as a lone byte
        {"\xE6\x98", R"("\xE6\x98")"},          // cut short
        {"\xC0\x8A", R"("\xC0\x8A")"},          // an overlong line feed
        {"\xED\xA0\x80", R"("\xED\xA0\x80")"},  // a surrogate
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Quoted(c.text), c.quoted) << c.quoted;
}

// Write's own codes in words on every platform, never read as the OS error of that number.
TEST(WriteResult, InWords)
{
    const struct {
        std::uint32_t result;
        WriteError kind;
        const char* words;
    } cases[] = {
        {0, WriteError::None, "sent"},
        {87, WriteError::NothingToWrite, "nothing to write"},
        {7005, WriteError::NotOpen, "no port is open"},
        {8, WriteError::NoMemory, "out of memory"},
        {CSerialPort::TimeoutError(), WriteError::TimedOut, "the line did not take the bytes in time"},
        {CSerialPort::CancelledError(), WriteError::Cancelled, "stopped before every byte went out"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WriteErrorOf(c.result), c.kind) << c.result;
        EXPECT_EQ(DescribeWriteResult(c.result), c.words) << c.result;
    }
}

// A message cut part-way, by the line standing still or by a stop, once the line was handed
// a part of it, leaves the display inside a command; nothing else does.
TEST(WriteResult, ClearFollowsAMessageCutPartWay)
{
    const struct {
        std::uint32_t result;
        bool begun;
        bool clear;
    } cases[] = {
        {0, true, false},
        {CSerialPort::TimeoutError(), true, true},
        {CSerialPort::CancelledError(), true, true},
        {CSerialPort::CancelledError(), false, false},  // stopped before the line was touched
        {87, false, false},
        {7005, false, false},
        {8, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClearFollows(c.result, c.begun), c.clear) << c.result << (c.begun ? " begun" : "");
}

TEST(PortName, ComPortNumberReadsLikeAtoi)
{
    const struct {
        std::string entry;
        int number;
    } cases[] = {
        {"COM1", 1},   {"COM12", 12},
        {"COM17", 17}, {"", 0},
        {"COM", 0},    {"COMX", 0},
        {"COM3x", 3},  {"COM 5", 5},
        {"COM-2", -2}, {"COM99999999999999999999", INT_MAX},  // atoi: undefined
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComPortNumber(c.entry), c.number) << '"' << c.entry << '"';
}

TEST(PortName, WindowsDevicePathForCom1ToCom256)
{
    const struct {
        std::string entry;
        std::string path;
        std::string listed;  // ComPortEntry
    } cases[] = {
        {"COM1", R"(\\.\COM1)", "COM1"},
        {"COM10", R"(\\.\COM10)", "COM10"},
        {"COM16", R"(\\.\COM16)", "COM16"},
        {"COM17", R"(\\.\COM17)", "COM17"},
        {"COM23", R"(\\.\COM23)", "COM23"},
        {"COM256", R"(\\.\COM256)", "COM256"},
        {"com3", R"(\\.\COM3)", "COM3"},
        {"COM01", R"(\\.\COM1)", "COM1"},
        {"COM0", "", ""},
        {"COM257", "", ""},
        {"COM4294967297", "", ""},  // never wrapped
        {"", "", ""},
        {"COMX", "", ""},
        {"COM1x", "", ""},  // a typo must not open COM1
        {"COM 5", "", ""},
        {"COM-1", "", ""},
        {"XYZ5", "", ""},
        {"ttyS0", "", ""},
        {"CNCA0", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WindowsDevicePath(c.entry), c.path) << '"' << c.entry << '"';
        EXPECT_EQ(ComPortEntry(c.entry), c.listed) << '"' << c.entry << '"';
    }
}

TEST(PortName, PosixDevicePathStaysInsideItsFolders)
{
    const std::string v = "/run/user/1000/display-test/ports";
    const struct {
        std::string entry;
        std::string devDir;
        std::string virtualDir;
        std::string path;
    } cases[] = {
        {"ttyUSB0", "/dev", v, "/dev/ttyUSB0"},
        {"ttyCH341USB0", "/dev", v, "/dev/ttyCH341USB0"},
        {"ttyS0", "/dev/", v, "/dev/ttyS0"},
        {"/dev/pts/3", "/dev", v, "/dev/pts/3"},
        {"sim0", "/dev", v, v + "/sim0"},
        {"sim0", "/dev", v + "/", v + "/sim0"},
        {"tty", "/dev", v, v + "/tty"},  // never the caller's own terminal
        {"sim0", "/dev", "", ""},
        {"", "/dev", v, ""},
        {".", "/dev", v, ""},
        {"..", "/dev", v, ""},
        {"../../etc/passwd", "/dev", v, ""},
        {"pts/3", "/dev", v, ""},
        {"sim0/..", "/dev", v, ""},
        {std::string("ttyS0\0x", 7), "/dev", v, ""},  // the OS would read only "ttyS0"
        {std::string("/dev/ttyS0\0/x", 13), "/dev", v, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PosixDevicePath(c.entry, c.devDir, c.virtualDir), c.path) << '"' << c.entry << '"';
}

// A network port's name: taken apart, given back in its one form and as a user reads it,
// or refused with the words of what is wrong.
TEST(PortName, NetworkNamesTakenApartOrRefused)
{
    using Kind = NetworkPort::Kind;
    const struct {
        const char* name;
        bool listen;
        Kind kind;
        const char* host;
        std::uint16_t port;
        const char* form;  // NetworkName and HostAndPort; for a name refused, the reason alone
        const char* shown;
    } cases[] = {
        {"rfc2217://10.0.0.7:4001", false, Kind::Rfc2217, "10.0.0.7", 4001, "rfc2217://10.0.0.7:4001", "10.0.0.7:4001"},
        {"tcp://till3:4001", false, Kind::RawTcp, "till3", 4001, "tcp://till3:4001", "till3:4001"},
        {"RFC2217://[::1]:65535", false, Kind::Rfc2217, "::1", 65535, "rfc2217://[::1]:65535", "[::1]:65535"},
        {"Tcp://h:1", false, Kind::RawTcp, "h", 1, "tcp://h:1", "h:1"},
        {"rfc2217://:0", true, Kind::Rfc2217, "", 0, "rfc2217://:0", ":0"},
        {"tcp://[::]:0", true, Kind::RawTcp, "::", 0, "tcp://[::]:0", "[::]:0"},
        {"rfc2217://10.0.0.7", false, Kind::Rfc2217, "", 0, "no port number after the host", ""},
        {"rfc2217://10.0.0.7:", false, Kind::Rfc2217, "", 0, "no port number after the host", ""},
        {"tcp://h:0", false, Kind::RawTcp, "", 0, "port 0 is out of range", ""},
        {"tcp://h:65536", true, Kind::RawTcp, "", 0, "port 65536 is out of range", ""},
        {"tcp://::1:4001", false, Kind::RawTcp, "", 0, "an IPv6 address goes in brackets", ""},
        {"tcp://[::1:4001", false, Kind::RawTcp, "", 0, "no ']'", ""},
        {"tcp://:4001", false, Kind::RawTcp, "", 0, "no host before the port number", ""},
        {"tcp://h:40x", false, Kind::RawTcp, "", 0, "the port is not a number", ""},
        {"tcp://a b:1", false, Kind::RawTcp, "", 0, "not a host name or address", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(IsNetworkName(c.name));
        std::string why;
        const auto parsed = ParseNetworkName(c.name, &why, c.listen);
        if (std::string_view(c.form).find("://") == std::string_view::npos) {
            EXPECT_FALSE(parsed);
            EXPECT_NE(why.find(c.form), std::string::npos) << why;
            continue;
        }
        ASSERT_TRUE(parsed) << why;
        EXPECT_EQ(*parsed, (NetworkPort{c.kind, c.host, c.port}));
        EXPECT_EQ(NetworkName(*parsed), c.form);
        EXPECT_EQ(HostAndPort(*parsed), c.shown);
    }
    EXPECT_FALSE(IsNetworkName("ttyUSB0"));
    EXPECT_FALSE(IsNetworkName("/dev/tcp"));
}

TEST(NaturalOrder, DigitRunsCompareByValue)
{
    const struct {
        std::string a;
        std::string b;
        bool less;
    } cases[] = {
        {"ttyS2", "ttyS10", true},
        {"ttyS10", "ttyS2", false},
        {"ttyS1", "ttyS1", false},
        {"ttyS2a", "ttyS10", true},
        {"x10y1", "x2y10", false},
        {"ttyS", "ttyS0", true},
        {"ttyS0", "ttyS", false},
        {"ttyACM0", "ttyS0", true},
        {"ttyUSB0", "ttyS0", false},
        // Equal by value: plain order decides, never both ways.
        {"ttyS01", "ttyS1", true},
        {"ttyS1", "ttyS01", false},
        // Beyond 64 bits.
        {"a99999999999999999999", "a100000000000000000000", true},
        {"a100000000000000000000", "a99999999999999999999", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

// The registry's ports with those found by probing, as Windows lists them; a POSIX list
// with nothing probed stays in its own order.
TEST(NaturalOrder, ProbedPortsGoWhereTheyBelong)
{
    using Names = std::vector<std::string>;
    const struct {
        Names listed;
        Names probed;
        Names merged;
    } cases[] = {
        {{"COM3", "COM23"}, {"COM1", "COM5", "COM16"}, {"COM1", "COM3", "COM5", "COM16", "COM23"}},
        {{}, {"COM2", "COM10"}, {"COM2", "COM10"}},
        {{"COM2", "COM10"}, {}, {"COM2", "COM10"}},
        {{"COM4", "COM12"}, {"COM12", "COM4"}, {"COM4", "COM12"}},  // each once
        {{"sim1", "sim0", "ttyS0"}, {}, {"sim1", "sim0", "ttyS0"}},
        // Virtual ports first, although "COM3" sorts before "sim0".
        {{"sim0", "sim1", "COM2", "COM23"}, {"COM5", "COM1"}, {"sim0", "sim1", "COM1", "COM2", "COM5", "COM23"}},
        {{"sim0"}, {"COM3"}, {"sim0", "COM3"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MergePorts(c.listed, c.probed), c.merged);
}

}  // namespace
}  // namespace serial
