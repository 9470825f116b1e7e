#include "cli/sender.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "cli/platform.h"
#include "common/command_line.h"
#include "common/text.h"
#include "protocol/code_page.h"
#include "protocol/hex_codec.h"
#include "protocol/send_staging.h"
#include "serial/cut_message.h"
#include "serial/network_name.h"
#include "serial/port_holder.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"

namespace cli {

static_assert(protocol::kErrorNotEnoughMemory == serial::CSerialPort::kErrorNotEnoughMemory);

namespace {

constexpr std::string_view kProgram = "display-send";

bool IsHexDigit(char c)
{
    return protocol::HexDigitValue(c) != 0xFF;
}

// A character as a user can read it in one line of an error message.
std::string Shown(char c)
{
    switch (c) {
    case ' ': return "a space";
    case '\r': return "a CR";
    case '\n': return "a LF";
    case '\t': return "a tab";
    default: break;
    }
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x21 && b < 0x7F)
        return std::string("'") + c + "'";
    return "the byte 0x" + protocol::BytesToHex(std::string_view(&c, 1), protocol::HexCase::Upper);
}

std::string OpenFailureText(const std::string& port, std::uint32_t baud, const serial::OpenFailure& failure)
{
    std::string text = "cannot open " + serial::Quoted(port) + ": " + serial::DescribeOpenFailure(failure, baud);
    if (failure.kind == serial::OpenError::KernelConsole)
        text += "; --force opens it all the same";
    // A lock holder and the dialout group are a device's matters, never a network port's.
    if (serial::IsNetworkName(port))
        return text;
    if (failure.kind == serial::OpenError::InUse) {
        if (const std::string holder = serial::PortHolder(serial::PortDevicePath(port)); !holder.empty())
            text = "cannot open " + serial::Quoted(port) + ": in use by " + holder;
    }
    if (failure.kind == serial::OpenError::PermissionDenied) {
        if (const std::string hint = PermissionHint(serial::PortDevicePath(port)); !hint.empty())
            text += "; " + hint;
    }
    return text;
}

// Hex kept in a Linux file ends its lines with LF alone: there, as CR LF does, it stands
// between pairs. Same length, so a position in the string is one in the user's.
std::string WithLinesAsSpaces(std::string hex)
{
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (hex[i] == '\n' && (i == 0 || hex[i - 1] != '\r'))
            hex[i] = ' ';
    }
    return hex;
}

std::string WriteFailureText(const std::string& port, std::uint32_t result)
{
    const bool timedOut = serial::WriteErrorOf(result) == serial::WriteError::TimedOut;
    return "writing to " + serial::Quoted(port) + (timedOut ? " timed out: " : " failed: ")
           + serial::DescribeWriteResult(result);
}
}  // namespace

std::optional<protocol::Lamp> ParseLamp(const std::string& name)
{
    struct Entry {
        std::string_view name;
        protocol::Lamp lamp;
    };
    static constexpr Entry kLamps[] = {
        {"off", protocol::Lamp::AllDark},     {"price", protocol::Lamp::Price},   {"total", protocol::Lamp::Total},
        {"collect", protocol::Lamp::Collect}, {"change", protocol::Lamp::Change},
    };
    for (const Entry& e : kLamps) {
        if (common::EqualsIgnoringCase(name, e.name))
            return e.lamp;
    }
    return std::nullopt;
}

std::optional<std::string> DescribeUndecodedHex(const std::string& hex)
{
    const auto at = protocol::HexUndecodedAt(WithLinesAsSpaces(hex));
    if (!at)
        return std::nullopt;
    // Name the character that is wrong, counted from 1.
    const std::size_t i = *at;
    if (!IsHexDigit(hex[i])) {
        std::string text = "character " + std::to_string(i + 1) + " is " + Shown(hex[i]) + ", not a hexadecimal digit";
        if (hex[i] == '\r' || hex[i] == '\n')
            text += " (a line break between pairs is LF or CR LF)";
        return text;
    }
    if (i + 1 == hex.size())
        return "character " + std::to_string(i + 1)
               + " is a lone last digit; every byte"
                 " takes two digits";
    const char second = hex[i + 1];
    std::string text = "character " + std::to_string(i + 2) + " is " + Shown(second) + ", not a hexadecimal digit";
    if (second == ' ' || second == ',' || second == '\r' || second == '\n')
        text += " (a separator cannot split the two digits of a byte)";
    return text;
}

BuiltMessage BuildMessage(const Options& options)
{
    BuiltMessage built;
    switch (options.message) {
    case MessageKind::Hex:
        if (const auto why = DescribeUndecodedHex(options.payload)) {
            built.exitCode = kExitBadHex;
            built.error = "--hex does not decode: " + *why;
        } else if (protocol::HexToBytes(WithLinesAsSpaces(options.payload), nullptr) == 0) {
            built.exitCode = kExitBadHex;
            built.error = "--hex holds no byte to send";
        } else {
            built.hex = WithLinesAsSpaces(options.payload);
        }
        break;
    case MessageKind::Text: {
        const std::string display = protocol::ToDisplayCodePage(options.payload);
        const auto questionMarks = [](const std::string& s) { return std::count(s.begin(), s.end(), '?'); };
        const auto replaced = questionMarks(display) - questionMarks(options.payload);
        if (std::string why; replaced > 0 && !protocol::CodePageAvailable(&why)) {
            // Not the display's limit but this program's: say which, or the user blames the text.
            built.warnings.push_back("warning: " + std::to_string(replaced)
                                     + (replaced == 1 ? " character" : " characters")
                                     + " of --text will appear as '?': " + why);
        } else if (replaced > 0) {
            built.warnings.push_back("warning: " + std::to_string(replaced)
                                     + (replaced == 1 ? " character" : " characters")
                                     + " of --text the display cannot show will appear as '?'");
        }
        // A script may mean them, so they go out; a person may not know what they do.
        if (const auto controls = ControlCharacterNames(options.payload); !controls.empty()) {
            std::string list;
            for (const auto& c : controls)
                list += (list.empty() ? "" : ", ") + c;
            built.warnings.push_back("warning: --text holds control characters (" + list
                                     + "); the display obeys them as commands, not as text");
        }
        built.hex = protocol::SendDataMessage(options.lamp, display);
        break;
    }
    case MessageKind::Scroll: built.hex = protocol::ScrollingMessage(); break;
    case MessageKind::Flicker: built.hex = protocol::FlickeringMessage(); break;
    case MessageKind::Clear: built.hex = protocol::ClearMessage(); break;
    case MessageKind::None:
        built.exitCode = kExitBadArguments;
        built.error = "nothing to send";
        break;
    }
    return built;
}

std::vector<std::string> ControlCharacterNames(const std::string& text)
{
    static constexpr std::string_view kNames[] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT", "LF",  "VT",  "FF", "CR", "SO", "SI",
        "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US",
    };
    std::vector<std::string> names;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F)
            continue;
        const std::string name(b == 0x7F ? "DEL" : kNames[b]);
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

std::string VersionText()
{
    return std::string(kProgram) + " " DISPLAYSEND_VERSION "\n";
}

std::string HelpText()
{
    return R"(Usage: display-send --list [--names]
       display-send [--port NAME] [--baud RATE] [--force] MESSAGE

Sends one message to a customer display on a serial line: exactly the bytes the test
panel sends for the same action, in one write.

MESSAGE is one of:
  --hex STRING   bytes as pairs of hexadecimal digits, upper or lower case; spaces,
                 commas and line breaks (LF or CR LF) may stand between pairs. The whole
                 string must decode, or nothing is sent.
  --text TEXT    clear the display, light the lamp of --lamp and show TEXT. TEXT is
                 UTF-8 and goes out in the display's code page (GBK on Linux); a
                 character the display cannot show goes out as '?'. Control
                 characters (CR, ESC...) go out too, with a warning: the display
                 obeys them as commands.
    --lamp LAMP  off (all lamps dark, the default, as the panel starts), price, total,
                 collect or change
  --scroll       clear, then scroll the digits 1 to 8
  --flicker      clear, then flicker 8.8.8.8.8.8.8.8.
  --clear        clear the display

Options:
  --list         print the serial ports found, one a line, in the order the panel
                 lists them, each with a tab and what it is ("USB serial: FT232R USB
                 UART", "built-in serial port", "virtual display"); the first is the
                 default port
  --names        with --list: the names alone
  --port NAME    the port as --list prints it (ttyUSB0, COM3, a virtual display's
                 name), a device path, or a display on the network:
                 rfc2217://HOST:PORT (a device server that sets the remote line to
                 --baud) or tcp://HOST:PORT (raw TCP, the line at the device server's
                 own settings); HOST is a name, an IPv4 address or an IPv6 address in
                 brackets. Default: the first port found
  --baud RATE    bits per second: 2400 (the default) or 9600, as the panel offers, or
                 any other rate the port supports
  --force        open the port even when it is the kernel's console, which is refused
                 otherwise: the kernel writes its messages there and may read a login
                 from it. Every serial line is put back as it was found when the run ends.
  --verbose      print the bytes sent, in hexadecimal, on standard error
  --version      print the version
  -h, --help     show this help

Examples:
  display-send --list
  display-send --text 12.50 --lamp price
  display-send --port ttyUSB0 --baud 9600 --scroll
  display-send --port rfc2217://till3:4001 --baud 9600 --text 12.50 --lamp price
  display-send --hex "0C 1B7331 1B5141 31322E3530 0D"
  display-send --clear

Exit status:
  0  sent (or the help, the version or the port list printed)
  2  bad arguments
  3  no serial port found
  4  the port cannot be opened (also your own terminal, such as /dev/tty: it
     is no display; and the kernel's console without --force); on the network:
     host not found, connection refused, no answer within 3 s, not an RFC 2217
     device server, or the server refused the rate
  5  the write failed or timed out
  6  the --hex string does not decode whole
  7  the output (the port list, the help, the version) could not be written
  128+N  stopped by signal N (Ctrl+C gives 130); the line is put back as it was
Every failure prints one line on standard error saying why.
)";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env)
{
    auto failure = [&err](int code, const std::string& text) {
        err << kProgram << ": " << text << '\n';
        return code;
    };
    auto findPorts = [&env] { return env.discoverPorts ? env.discoverPorts() : std::vector<std::string>{}; };

    const ParseResult parsed = ParseArguments(args);
    if (!parsed.options) {
        err << command_line::UsageError(kProgram, parsed.error);
        return kExitBadArguments;
    }
    const Options& options = *parsed.options;

    // Output that did not arrive (a full disk, a closed file) is a failure like any other.
    auto written = [&out, &failure] {
        out.flush();
        if (out)
            return static_cast<int>(kExitOk);
        const int error = errno;
        return failure(kExitOutputFailed, std::string("cannot write the output")
                                              + (error != 0 ? std::string(": ") + std::strerror(error) : ""));
    };

    if (options.command == Command::Help) {
        errno = 0;
        out << HelpText();
        return written();
    }
    if (options.command == Command::Version) {
        errno = 0;
        out << VersionText();
        return written();
    }
    if (options.command == Command::List) {
        const auto ports = findPorts();
        if (ports.empty())
            return failure(kExitNoPort, "no serial port found");
        // A tab between the columns: `cut -f1` gives the names back.
        errno = 0;
        for (const auto& port : ports) {
            out << port;
            if (!options.namesOnly && env.describePort)
                out << '\t' << env.describePort(port);
            out << '\n';
        }
        return written();
    }

    // Refuse bad input before the port is touched.
    const BuiltMessage message = BuildMessage(options);
    if (message.exitCode != kExitOk)
        return failure(message.exitCode, message.error);

    std::string portName = options.port;
    if (portName.empty()) {
        const auto ports = findPorts();
        if (ports.empty())
            return failure(kExitNoPort, "no serial port found; name one with --port");
        portName = ports.front();
    }

    // Raw mode would leave the user's own terminal unusable, and it is no display.
    const bool network = serial::IsNetworkName(portName);
    if (!network && IsOwnTerminal(serial::PortDevicePath(portName)))
        return failure(kExitCannotOpen,
                       "cannot open " + serial::Quoted(portName) + ": it is your own terminal, not a display");

    serial::OpenOptions openOptions = env.openOptions;
    openOptions.allowConsole = options.force;
    std::optional<serial::OpenFailure> openFailure;
    std::uint32_t result = serial::CSerialPort::kErrorSuccess;
    // From the open to the close the line is the program's: a signal only stops the write,
    // and the line is put back and released before the program ends.
    const int signalNumber = RunHoldingSignals([&](std::stop_token stop) {
        serial::CSerialPort port;
        // A signal ends a network port's connection and handshake at once, too.
        openOptions.stop = stop;
        if (!port.Open(portName, options.baud, openOptions)) {
            openFailure = port.LastOpenFailure();
            return;
        }
        for (const std::string& warning : message.warnings)
            err << kProgram << ": " << warning << '\n';
        bool begun = false;
        const auto write = [&port, &stop, &begun](const std::uint8_t* data, std::uint32_t count) {
            begun = begun || !stop.stop_requested();
            return port.Write(data, count, stop);
        };
        result = protocol::StageAndWrite(message.hex, write);
        // A message cut short may leave the display inside a command (after ESC, within a
        // text): Clear ends whatever it was, if the line takes it. After a signal the stop
        // holds for it too, and the line is left as it was.
        if (serial::ClearFollows(result, begun))
            protocol::StageAndWrite(protocol::ClearMessage(), write);
        port.Close();
    });
    if (signalNumber != 0)
        return failure(kExitSignalled + signalNumber, SignalName(signalNumber) + "; the line is left as it was found");
    if (openFailure)
        return failure(kExitCannotOpen, OpenFailureText(portName, options.baud, *openFailure));
    if (result != serial::CSerialPort::kErrorSuccess)
        return failure(kExitWriteFailed, WriteFailureText(portName, result));
    if (options.verbose) {
        protocol::ByteArray bytes;
        protocol::HexToBytes(message.hex, &bytes);
        err << kProgram << ": sent " << bytes.size() << (bytes.size() == 1 ? " byte" : " bytes") << " to " << portName
            << " at " << options.baud << " baud: "
            << protocol::BytesToHex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                    protocol::HexCase::Upper, " ")
            << '\n';
    }
    return kExitOk;
}

}  // namespace cli
