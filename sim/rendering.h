#pragma once
// How text bytes become digit positions, and how the positions move while the display
// scrolls or flickers. The rules, once:
//  - The display reads text in its code page (GBK): a lead byte 81..FE and the byte after
//    it are one character and take one position.
//  - A point attaches to the character before it; a point with no character before it, or
//    after a character that has its point already, takes a blank position of its own.
//  - Characters a seven-segment digit cannot show take their position and stay blank.
//  - The text stands right-aligned, like a price; of a longer text the last eight
//    positions are shown.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/display_state.h"

namespace sim {

// Segments of a character as bits: a (top) 0x01, b (top right) 0x02, c (bottom right)
// 0x04, d (bottom) 0x08, e (bottom left) 0x10, f (top left) 0x20, g (middle) 0x40.
// 0 for a blank and for every character the digit cannot show.
std::uint8_t SegmentsOf(char ch);

// Whether a digit position can show the character (a blank counts).
bool Showable(char ch);

// The positions a text takes, left to right, before alignment.
std::vector<Cell> LayOutText(std::string_view textBytes);

// The laid-out text right-aligned in the eight positions (its last eight when longer).
Cells RightAligned(const std::vector<Cell>& laidOut);

// The positions as a user reads them: each character followed by '.' when its point is lit.
std::string CellsText(const std::vector<Cell>& cells);
std::string CellsText(const Cells& cells);

// Animation: one tick every kTickMs. A scrolling text moves one position per tick; it
// enters at the right, leaves at the left, and enters again after one blank tick. A
// flickering display is lit for two ticks and dark for two.
inline constexpr int kTickMs = 250;
Cells ScrollFrame(const std::vector<Cell>& scrollText, unsigned tick);
// What stands on the digits at a tick since the state began.
Cells VisibleCells(const DisplayState& state, unsigned tick);

}  // namespace sim
