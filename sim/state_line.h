#pragma once
// The one-line forms in which the virtual display reports what it shows and what it got.

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/display_state.h"

namespace sim {

// A display state as one line:
//   [    12.50] lamps=Price mode=still
//   [12345678] lamps=none mode=scrolling text="12345678"
//   [8.8.8.8.8.8.8.8.] lamps=none mode=flickering
// Between the brackets the eight positions as a user reads them, left to right, a blank
// as a space and a lit point as '.' after its position; then the lit lamps ("none", or
// their names joined by ','), the mode, and in scrolling mode the whole scroll text.
std::string StateLine(const DisplayState& state);

// Bytes as upper-case hexadecimal pairs separated by blanks: "0C 1B 73 31".
std::string HexLine(const std::uint8_t* data, std::size_t count);

}  // namespace sim
