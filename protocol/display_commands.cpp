#include "protocol/display_commands.h"

#include "protocol/hex_codec.h"

namespace protocol {

std::string_view LampSelectHex(Lamp lamp)
{
    switch (lamp) {
    case Lamp::AllDark: return cmd::kLampAllDark;
    case Lamp::Price: return cmd::kLampPrice;
    case Lamp::Total: return cmd::kLampTotal;
    case Lamp::Collect: return cmd::kLampCollect;
    case Lamp::Change: return cmd::kLampChange;
    case Lamp::None: break;
    }
    return {};
}

std::string SendDataMessage(Lamp lamp, std::string_view displayText)
{
    // Clear first, so the lamp and the text never mix with what the display showed before.
    std::string message(cmd::kClear);
    message += LampSelectHex(lamp);
    message += cmd::kShowTextHead;
    message += TextToHex(displayText);
    message += cmd::kShowTextTail;  // the display needs CR to end a text
    return message;
}

std::string ScrollingMessage()
{
    std::string message(cmd::kClear);
    message += cmd::kScrollOneToEight;
    return message;
}

std::string FlickeringMessage()
{
    std::string message(cmd::kClear);
    message += cmd::kFlicker;
    message += cmd::kShowAllEights;
    return message;
}

std::string ClearMessage()
{
    return std::string(cmd::kClear);
}

}  // namespace protocol
