#pragma once
// Conversions between bytes and hexadecimal command strings: text in which every byte
// stands as two hexadecimal digits ("1B5141" or "1b5141").

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

using ByteArray = std::vector<std::uint8_t>;

// Value 0 to 15 of one hexadecimal digit (either case); 255 for any other byte.
std::uint8_t HexDigitValue(char c);

// Decodes digit pairs into *out (its former content replaced) and returns the count.
// Spaces, commas and CR LF are skipped where a pair would begin; decoding stops at the
// first pair holding a non-digit, and a lone last character is dropped. Never fails.
int HexToBytes(std::string_view hex, ByteArray* out);

// Position of the first character that HexToBytes did not decode, or nullopt when the
// whole string decoded. Callers that take hex typed by a person refuse such input.
std::optional<std::size_t> HexUndecodedAt(std::string_view hex);

enum class HexCase { Lower, Upper };

// Two digits per byte, with the separator between bytes: the one formatter of bytes as hex,
// for messages on the line, the virtual display's log and what the sender reports.
std::string BytesToHex(std::string_view bytes, HexCase letters = HexCase::Lower, std::string_view separator = {});

// Replaces *out with two lower-case digits per byte of a one- or two-byte chunk.
void ChunkToHex(std::string_view chunk, std::string* out);

// Two lower-case digits per byte of text given in the display's code page.
std::string TextToHex(std::string_view text);

}  // namespace protocol
