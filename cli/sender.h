#pragma once
// display-send: arguments, and the run that sends one message to a customer display.
// The main only gathers the arguments and the real port list; tests inject both.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "protocol/display_commands.h"
#include "serial/serial_port.h"

namespace cli {

// The exit status of display-send, one per kind of failure.
enum ExitCode : int {
    kExitOk = 0,
    kExitBadArguments = 2,
    kExitNoPort = 3,
    kExitCannotOpen = 4,
    kExitWriteFailed = 5,   // the write failed or timed out
    kExitBadHex = 6,        // --hex does not decode whole
    kExitOutputFailed = 7,  // the output (--list, --help, --version) could not be written
    kExitSignalled = 128,   // plus the number of the signal that stopped the run
};

enum class Command { Help, Version, List, Send };
enum class MessageKind { None, Hex, Text, Scroll, Flicker, Clear };

inline constexpr std::uint32_t kDefaultBaud = protocol::kDefaultBaud;

struct Options {
    Command command = Command::Send;
    bool namesOnly = false;  // --list --names: no description column
    bool verbose = false;    // --verbose: the bytes sent, in hex, on standard error
    std::string port;        // empty: the first port found
    bool force = false;      // open the port even when it is the kernel's console
    std::uint32_t baud = kDefaultBaud;
    MessageKind message = MessageKind::None;
    std::string payload;  // the --hex string or the --text text (UTF-8)
    // The panel always has one lamp button checked, all dark at start.
    protocol::Lamp lamp = protocol::Lamp::AllDark;
};

struct ParseResult {
    std::optional<Options> options;
    std::string error;  // one line, when options is empty
};

// The arguments after the program name.
ParseResult ParseArguments(const std::vector<std::string>& args);

// "off", "price", "total", "collect", "change" in any case; nullopt for anything else.
std::optional<protocol::Lamp> ParseLamp(const std::string& name);

// Why a hex string typed by a person does not decode whole, naming the position
// (counted from 1); nullopt when it does.
std::optional<std::string> DescribeUndecodedHex(const std::string& hex);

// The command string that the panel would send for the same action; for --hex the
// user's string itself, once it decodes whole.
struct BuiltMessage {
    std::string hex;
    int exitCode = kExitOk;
    std::string error;                  // one line, when exitCode is not kExitOk
    std::vector<std::string> warnings;  // one line each: the message still goes out
};
BuiltMessage BuildMessage(const Options& options);

// The names of the control characters in text, each once, in the order they first
// appear ("ESC", "CR"); the display obeys them as commands.
std::vector<std::string> ControlCharacterNames(const std::string& text);

std::string HelpText();
std::string VersionText();

struct Environment {
    std::function<std::vector<std::string>()> discoverPorts;
    // What stands behind a port, for --list; none: the names alone.
    std::function<std::string(const std::string&)> describePort;
    // Where the port's open looks for the kernel's console; tests point it at a fake tree.
    serial::OpenOptions openOptions;
};

// Runs display-send: output on out, every failure as one line on err. Returns the exit
// status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env);

}  // namespace cli
