#pragma once
// What the customer display shows: eight digit positions, four lamps and the mode.

#include <array>
#include <cstddef>
#include <vector>

namespace sim {

inline constexpr int kPositions = 8;

// One digit position: a character a seven-segment digit can show (' ' when blank) and
// the decimal point to its right.
struct Cell {
    char ch = ' ';
    bool point = false;
    bool operator==(const Cell&) const = default;
};

using Cells = std::array<Cell, kPositions>;

// The lamps in the order of their labels under the digits.
enum class Lamp { Price, Total, Collect, Change };
inline constexpr int kLampCount = 4;
const char* LampName(Lamp lamp);

enum class Mode {
    Still,       // the text stands
    Scrolling,   // the scroll text runs through the positions from right to left
    Flickering,  // the positions go dark and light again; the lamps stay
};
const char* ModeName(Mode mode);

struct DisplayState {
    // The positions as they stand at rest: the shown text, or in Scrolling mode the scroll
    // text laid out like a shown one.
    Cells cells{};
    std::array<bool, kLampCount> lamps{};
    Mode mode = Mode::Still;
    // In Scrolling mode the whole scroll text, one cell per position it takes; else empty.
    std::vector<Cell> scrollText;

    bool operator==(const DisplayState&) const = default;
};

}  // namespace sim
