#include "sim/line_settings.h"

namespace sim {

namespace {

std::string Rate(std::uint32_t baud)
{
    return baud == 0 ? std::string("an unknown rate") : std::to_string(baud);
}

std::string Frame(const LineSettings& line)
{
    return std::to_string(line.dataBits) + line.parity + std::to_string(line.stopBits);
}

// A receiver with one stop bit reads a second one as a pause between bytes; data bits
// and parity must match.
bool SameCharacters(const LineSettings& sender, const LineSettings& display)
{
    return sender.dataBits == display.dataBits && sender.parity == display.parity;
}

}  // namespace

std::string DescribeLine(const LineSettings& line)
{
    return Rate(line.baud) + " " + Frame(line);
}

std::string MisreadNote(const LineSettings& sender, std::uint32_t displayBaud)
{
    const LineSettings display{displayBaud, 8, 'N', 1};
    const bool sameCharacters = SameCharacters(sender, display);
    if (sender.baud == displayBaud && sameCharacters)
        return {};
    // Only the rate wrong: the short form a user recognises at once.
    const std::string at = sender.baud == 0 ? "an unknown rate" : std::to_string(sender.baud) + " baud";
    if (sameCharacters)
        return "sender at " + at + ": a display at " + Rate(displayBaud) + " would show garbage";
    return "sender at " + at + " " + Frame(sender) + ": a display at " + Rate(displayBaud) + " baud " + Frame(display)
           + " would show garbage";
}

std::string HiddenLineNote(std::uint32_t displayBaud)
{
    return "the sender's line cannot be seen over raw TCP; this display reads "
           + DescribeLine({displayBaud, 8, 'N', 1});
}

std::string OpenToOthersNote(const std::string& address)
{
    return "any machine that reaches " + address + " can drive this display";
}

}  // namespace sim
