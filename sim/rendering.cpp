#include "sim/rendering.h"

#include <algorithm>

namespace sim {

namespace {

struct Glyph {
    char ch;
    std::uint8_t segments;
};

// The characters a seven-segment digit can show, in the forms such displays use.
// K, M, V, W, X and Z have no readable form and stay blank.
constexpr Glyph kGlyphs[] = {
    {'0', 0x3F}, {'1', 0x06}, {'2', 0x5B}, {'3', 0x4F}, {'4', 0x66}, {'5', 0x6D}, {'6', 0x7D}, {'7', 0x07}, {'8', 0x7F},
    {'9', 0x6F}, {'-', 0x40}, {'_', 0x08}, {'=', 0x48}, {'A', 0x77}, {'a', 0x77}, {'B', 0x7C}, {'b', 0x7C}, {'C', 0x39},
    {'c', 0x58}, {'D', 0x5E}, {'d', 0x5E}, {'E', 0x79}, {'e', 0x79}, {'F', 0x71}, {'f', 0x71}, {'G', 0x3D}, {'g', 0x3D},
    {'H', 0x76}, {'h', 0x74}, {'I', 0x30}, {'i', 0x10}, {'J', 0x1E}, {'j', 0x1E}, {'L', 0x38}, {'l', 0x38}, {'N', 0x54},
    {'n', 0x54}, {'O', 0x3F}, {'o', 0x5C}, {'P', 0x73}, {'p', 0x73}, {'Q', 0x67}, {'q', 0x67}, {'R', 0x50}, {'r', 0x50},
    {'S', 0x6D}, {'s', 0x6D}, {'T', 0x78}, {'t', 0x78}, {'U', 0x3E}, {'u', 0x1C}, {'Y', 0x6E}, {'y', 0x6E},
};

bool IsLeadByte(std::uint8_t b)
{
    return b >= 0x81 && b <= 0xFE;
}

const Cells kBlank{};

}  // namespace

std::uint8_t SegmentsOf(char ch)
{
    for (const Glyph& g : kGlyphs) {
        if (g.ch == ch)
            return g.segments;
    }
    return 0;
}

bool Showable(char ch)
{
    return ch == ' ' || SegmentsOf(ch) != 0;
}

std::vector<Cell> LayOutText(std::string_view textBytes)
{
    std::vector<Cell> out;
    out.reserve(textBytes.size());
    for (std::size_t i = 0; i < textBytes.size(); ++i) {
        const char ch = textBytes[i];
        if (ch == '.') {
            if (!out.empty() && !out.back().point) {
                out.back().point = true;
            } else {
                out.push_back({' ', true});
            }
            continue;
        }
        if (IsLeadByte(static_cast<std::uint8_t>(ch))) {
            if (i + 1 < textBytes.size())
                ++i;  // the trail byte belongs to the same character
            out.push_back({});
            continue;
        }
        out.push_back({Showable(ch) ? ch : ' ', false});
    }
    return out;
}

Cells RightAligned(const std::vector<Cell>& laidOut)
{
    Cells cells{};
    const std::size_t n = std::min<std::size_t>(laidOut.size(), kPositions);
    std::copy(laidOut.end() - static_cast<std::ptrdiff_t>(n), laidOut.end(),
              cells.end() - static_cast<std::ptrdiff_t>(n));
    return cells;
}

std::string CellsText(const std::vector<Cell>& cells)
{
    std::string s;
    for (const Cell& c : cells) {
        s += c.ch;
        if (c.point)
            s += '.';
    }
    return s;
}

std::string CellsText(const Cells& cells)
{
    return CellsText(std::vector<Cell>(cells.begin(), cells.end()));
}

Cells ScrollFrame(const std::vector<Cell>& scrollText, unsigned tick)
{
    // The text runs along a strip of eight blanks followed by the text, seen through the
    // eight positions; the strip repeats.
    const std::size_t period = scrollText.size() + kPositions;
    const std::size_t start = tick % period;
    Cells cells{};
    for (std::size_t p = 0; p < kPositions; ++p) {
        const std::size_t at = (start + p) % period;
        if (at >= kPositions)
            cells[p] = scrollText[at - kPositions];
    }
    return cells;
}

Cells VisibleCells(const DisplayState& state, unsigned tick)
{
    switch (state.mode) {
    case Mode::Scrolling: return ScrollFrame(state.scrollText, tick);
    case Mode::Flickering: return (tick / 2) % 2 == 0 ? state.cells : kBlank;
    case Mode::Still: break;
    }
    return state.cells;
}

}  // namespace sim
