// The hex codec on any input. As bytes: the formatter's hex, in either case and with any
// separator the decoder skips, decodes back to them whole. As text: decoding never fails,
// stops where HexUndecodedAt says, and what it took is the input's digits with the
// separators left out.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/hex_codec.h"
#include "tests/fuzz/fuzz_check.h"

using protocol::ByteArray;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const ByteArray bytes(data, data + size);

    for (const protocol::HexCase letters : {protocol::HexCase::Lower, protocol::HexCase::Upper}) {
        for (const std::string_view separator : {"", " ", ",", "\r\n", ", "}) {
            const std::string hex = protocol::BytesToHex(input, letters, separator);
            FUZZ_CHECK(hex.size() == 2 * size + (size == 0 ? 0 : (size - 1) * separator.size()));
            ByteArray back{0xAA, 0x55};  // replaced, not added to
            FUZZ_CHECK(protocol::HexToBytes(hex, &back) == static_cast<int>(size));
            FUZZ_CHECK(back == bytes);
            FUZZ_CHECK(!protocol::HexUndecodedAt(hex));
        }
    }
    // The text to the display is sent as two digits per byte, whatever its lead bytes.
    FUZZ_CHECK(protocol::TextToHex(input) == protocol::BytesToHex(input));

    ByteArray decoded{0xAA};
    const int count = protocol::HexToBytes(input, &decoded);
    FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) == decoded.size());
    FUZZ_CHECK(decoded.size() <= size / 2);
    FUZZ_CHECK(protocol::HexToBytes(input, nullptr) == count);

    const auto undecoded = protocol::HexUndecodedAt(input);
    const std::size_t taken = undecoded ? *undecoded : size;
    FUZZ_CHECK(!undecoded || *undecoded < size);
    // What was taken holds the digits of the bytes decoded, and separators between them.
    std::string digits;
    for (std::size_t i = 0; i < taken; ++i) {
        if (input.substr(i, 2) == "\r\n")
            ++i;
        else if (input[i] != ' ' && input[i] != ',')
            digits += static_cast<char>(std::tolower(static_cast<unsigned char>(input[i])));
    }
    const std::string_view decodedText(reinterpret_cast<const char*>(decoded.data()), decoded.size());
    FUZZ_CHECK(digits == protocol::BytesToHex(decodedText));
    // The part taken decodes whole, to the same bytes.
    ByteArray prefix;
    FUZZ_CHECK(protocol::HexToBytes(input.substr(0, taken), &prefix) == count && prefix == decoded);
    FUZZ_CHECK(!protocol::HexUndecodedAt(input.substr(0, taken)));
    return 0;
}
