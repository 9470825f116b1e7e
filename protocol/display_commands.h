#pragma once
// The customer display's commands, held as hexadecimal command strings, and the messages
// that the panel and the sender build from them.

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// The rate a display reads at as it leaves the factory, and so the rate used where nobody
// chose another.
inline constexpr std::uint32_t kDefaultBaud = 2400;

namespace cmd {
inline constexpr std::string_view kClear = "0C";
inline constexpr std::string_view kLampAllDark = "1B7330";
inline constexpr std::string_view kLampPrice = "1B7331";
inline constexpr std::string_view kLampTotal = "1B7332";
inline constexpr std::string_view kLampCollect = "1B7333";
inline constexpr std::string_view kLampChange = "1B7334";
inline constexpr std::string_view kShowTextHead = "1B5141";
inline constexpr std::string_view kShowTextTail = "0D";
inline constexpr std::string_view kScrollOneToEight = "1B514431323334353637380D";
inline constexpr std::string_view kFlicker = "1B4505";
inline constexpr std::string_view kShowAllEights = "1B5141382E382E382E382E382E382E382E382E0D";
}  // namespace cmd

// The lamp radio buttons; None when no lamp button is checked (no lamp select is sent).
enum class Lamp { None, AllDark, Price, Total, Collect, Change };

// Lamp-select command string of a lamp; empty for Lamp::None.
std::string_view LampSelectHex(Lamp lamp);

// Clear, the lamp select, then Show text of the text (bytes in the display's code page).
std::string SendDataMessage(Lamp lamp, std::string_view displayText);
// Clear, then Scroll text of "12345678".
std::string ScrollingMessage();
// Clear, Flicker, then Show text of "8.8.8.8.8.8.8.8.".
std::string FlickeringMessage();
// Clear alone.
std::string ClearMessage();

}  // namespace protocol
