#pragma once
// The line settings a sender put on the display's line, and whether a real display would
// read what it sends. The display reads 8 data bits, no parity, one stop bit at its rate.

#include <cstdint>
#include <string>

#include "serial/display_line.h"

namespace sim {

// What the display's line tells of a client's settings.
using serial::LineSettings;

// "9600 8N1"
std::string DescribeLine(const LineSettings& line);

// Empty when a display at displayBaud, 8N1, reads what a sender with these settings
// sends (a second stop bit does no harm); else why not, in one line:
//   sender at 9600 baud: a display at 2400 would show garbage
//   sender at 2400 baud 7E1: a display at 2400 baud 8N1 would show garbage
std::string MisreadNote(const LineSettings& sender, std::uint32_t displayBaud);

// Where the sender's line cannot be seen (raw TCP), what to set on it:
//   the sender's line cannot be seen over raw TCP; this display reads 2400 8N1
std::string HiddenLineNote(std::uint32_t displayBaud);

// A listener on an address that other machines reach:
//   any machine that reaches 0.0.0.0 can drive this display
std::string OpenToOthersNote(const std::string& address);

}  // namespace sim
