#pragma once
// The command line of display-sim.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/display_commands.h"
#include "serial/network_name.h"

namespace sim {

inline constexpr std::uint32_t kDefaultBaud = protocol::kDefaultBaud;

struct Options {
    bool text = false;                          // print each new display state as a line; no window
    std::string port;                           // listen on this port instead of a pseudo-terminal of its own
    std::optional<serial::NetworkPort> listen;  // or on the network, for one client at a time
    std::uint32_t baud = kDefaultBaud;          // the rate the display reads at
    std::string lang;                           // the window's language, "en" or "zh"; empty: the desktop's
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<Options> options;  // nullopt when the command line is wrong
    std::string error;               // then what is wrong, for the user
};

// Reads the arguments after the program name (UTF-8): --text, --port NAME or --listen
// rfc2217|tcp://[ADDRESS]:PORT, --baud RATE,
// --lang en|zh (each also as --opt=VALUE, and with one dash), --help (-h), --version. Needs
// no application object: which kind of application runs depends on --text.
ParsedOptions ParseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string UsageText();

// Whether a listener on address takes connections from this machine only: an address of
// the loopback (127.0.0.0/8, ::1), or none named.
bool OnlyThisMachine(const std::string& address);

}  // namespace sim
