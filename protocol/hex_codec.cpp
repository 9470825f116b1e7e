#include "protocol/hex_codec.h"

#include "protocol/code_page.h"

namespace protocol {

namespace {

constexpr std::uint8_t kNotADigit = 0xFF;

struct DecodeEnd {
    std::size_t stoppedAt;  // == hex.size() when every character was taken
    int count;
};

// The one decoder behind HexToBytes and HexUndecodedAt; out may be null.
DecodeEnd Decode(std::string_view hex, ByteArray* out)
{
    const std::size_t n = hex.size();
    if (out) {
        out->clear();
        out->reserve(n / 2);
    }
    int count = 0;
    std::size_t i = 0;
    while (i < n) {
        const char c = hex[i];
        if (c == ' ' || c == ',') {
            ++i;
            continue;
        }
        // Only CR LF is a line break between pairs; a CR or LF alone is not.
        if (c == '\r' && i + 1 < n && hex[i + 1] == '\n') {
            i += 2;
            continue;
        }
        if (i + 1 == n)
            break;  // a lone last digit is dropped
        const std::uint8_t high = HexDigitValue(c);
        const std::uint8_t low = HexDigitValue(hex[i + 1]);
        if (high == kNotADigit || low == kNotADigit)
            break;
        if (out)
            out->push_back(static_cast<std::uint8_t>(high << 4 | low));
        ++count;
        i += 2;
    }
    return {i, count};
}

constexpr char kLowerDigits[] = "0123456789abcdef";

}  // namespace

std::uint8_t HexDigitValue(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b >= '0' && b <= '9')
        return static_cast<std::uint8_t>(b - '0');
    if (b >= 'A' && b <= 'F')
        return static_cast<std::uint8_t>(b - 'A' + 10);
    if (b >= 'a' && b <= 'f')
        return static_cast<std::uint8_t>(b - 'a' + 10);
    return kNotADigit;
}

int HexToBytes(std::string_view hex, ByteArray* out)
{
    ByteArray scratch;
    return Decode(hex, out ? out : &scratch).count;
}

std::optional<std::size_t> HexUndecodedAt(std::string_view hex)
{
    const DecodeEnd end = Decode(hex, nullptr);
    if (end.stoppedAt >= hex.size())
        return std::nullopt;
    return end.stoppedAt;
}

std::string BytesToHex(std::string_view bytes, HexCase letters, std::string_view separator)
{
    static constexpr char kUpperDigits[] = "0123456789ABCDEF";
    const char* digits = letters == HexCase::Upper ? kUpperDigits : kLowerDigits;
    std::string hex;
    hex.reserve(bytes.size() * (2 + separator.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            hex += separator;
        const auto b = static_cast<unsigned char>(bytes[i]);
        hex += digits[b >> 4];
        hex += digits[b & 0x0F];
    }
    return hex;
}

void ChunkToHex(std::string_view chunk, std::string* out)
{
    if (out)
        *out = BytesToHex(chunk);
}

std::string TextToHex(std::string_view text)
{
    const std::size_t n = text.size();
    std::string result;
    result.reserve(2 * n);
    std::string digits;
    std::size_t i = 0;
    while (i < n) {
        // A lead byte in the last position stands alone: nothing is read past the end.
        std::size_t len = 1;
        if (i + 1 < n && IsDBCSLeadByte(static_cast<std::uint8_t>(text[i])))
            len = 2;
        ChunkToHex(text.substr(i, len), &digits);
        result += digits;
        i += len;
    }
    return result;
}

}  // namespace protocol
