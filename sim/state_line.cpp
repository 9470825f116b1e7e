#include "sim/state_line.h"

#include "sim/rendering.h"

namespace sim {

std::string StateLine(const DisplayState& state)
{
    std::string line = "[" + CellsText(state.cells) + "] lamps=";
    bool any = false;
    for (int i = 0; i < kLampCount; ++i) {
        if (!state.lamps[static_cast<std::size_t>(i)]) continue;
        if (any) line += ',';
        line += LampName(static_cast<Lamp>(i));
        any = true;
    }
    if (!any) line += "none";
    line += " mode=";
    line += ModeName(state.mode);
    if (state.mode == Mode::Scrolling) line += " text=\"" + CellsText(state.scrollText) + "\"";
    return line;
}

std::string HexLine(const std::uint8_t* data, std::size_t count)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i) s += ' ';
        s += kDigits[data[i] >> 4];
        s += kDigits[data[i] & 0x0F];
    }
    return s;
}

}  // namespace sim
