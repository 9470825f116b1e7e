#pragma once
// The line settings a sender put on the display's line, and whether a real display would
// read what it sends. The display reads 8 data bits, no parity, one stop bit at its rate.

#include <cstdint>
#include <string>

#include "protocol/display_commands.h"

namespace sim {

struct LineSettings {
    std::uint32_t baud = protocol::kDefaultBaud;  // 0: a rate the terminal has no number for
    int dataBits = 8;
    char parity = 'N';  // N, E, O, M (mark) or S (space)
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

// "9600 8N1"
std::string DescribeLine(const LineSettings& line);

// Empty when a display at displayBaud, 8N1, reads what a sender with these settings
// sends (a second stop bit does no harm); else why not, in one line:
//   sender at 9600 baud: a display at 2400 would show garbage
//   sender at 2400 baud 7E1: a display at 2400 baud 8N1 would show garbage
std::string MisreadNote(const LineSettings& sender, std::uint32_t displayBaud);

}  // namespace sim
