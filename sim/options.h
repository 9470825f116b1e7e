#pragma once
// The command line of display-sim.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::uint32_t kDefaultBaud = 2400;

struct Options {
    bool text = false;      // print each new display state as a line; no window
    std::string port;       // listen on this port instead of a pseudo-terminal of its own
    std::uint32_t baud = kDefaultBaud;  // the rate the display reads at
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<Options> options;  // nullopt when the command line is wrong
    std::string error;               // then what is wrong, for the user
};

// Reads the arguments after the program name: --text, --port NAME, --baud RATE (each
// also as --opt=VALUE), --help (-h), --version.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string UsageText();

}  // namespace sim
