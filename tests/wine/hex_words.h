#pragma once
// Bytes as lowercase hex, one word of the line protocol between wine-port-host and the
// Windows test programs, through the project's own formatter and strict decoder.

#include <optional>
#include <string>
#include <string_view>

#include "protocol/hex_codec.h"

namespace wine_host {

inline std::string Hex(std::string_view bytes)
{
    return protocol::BytesToHex(bytes);
}

// The bytes back; nullopt unless every character is part of a pair of hex digits.
inline std::optional<std::string> Unhex(std::string_view hex)
{
    protocol::ByteArray bytes;
    // Separators are skipped and a stray character ends the decoding: either leaves
    // fewer pairs than the word has characters.
    if (static_cast<std::size_t>(protocol::HexToBytes(hex, &bytes)) * 2 != hex.size())
        return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace wine_host
