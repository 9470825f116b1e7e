#pragma once
// Bytes as lowercase hex, one word of the line protocol between wine-port-host and the
// Windows test programs. Header only: the host is a Linux program, its clients Windows ones.

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace wine_host {

inline std::string Hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The bytes back; nullopt for an odd count of digits or anything that is not a hex digit.
inline std::optional<std::string> Unhex(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        char* end = nullptr;
        const std::string pair(hex.substr(i, 2));
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2)
            return std::nullopt;
        out += static_cast<char>(value);
    }
    return out;
}

}  // namespace wine_host
