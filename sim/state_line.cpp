#include "sim/state_line.h"

#include "protocol/hex_codec.h"
#include "sim/rendering.h"

namespace sim {

std::string StateLine(const DisplayState& state)
{
    std::string line = "[" + CellsText(state.cells) + "] lamps=";
    bool any = false;
    for (int i = 0; i < kLampCount; ++i) {
        if (!state.lamps[static_cast<std::size_t>(i)])
            continue;
        if (any)
            line += ',';
        line += LampName(static_cast<Lamp>(i));
        any = true;
    }
    if (!any)
        line += "none";
    line += " mode=";
    line += ModeName(state.mode);
    if (state.mode == Mode::Scrolling)
        line += " text=\"" + CellsText(state.scrollText) + "\"";
    return line;
}

std::string HexLine(const std::uint8_t* data, std::size_t count)
{
    return protocol::BytesToHex(std::string_view(reinterpret_cast<const char*>(data), count), protocol::HexCase::Upper,
                                " ");
}

}  // namespace sim
