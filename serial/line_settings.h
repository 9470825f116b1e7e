#pragma once
// A serial line's settings as a sender set them: what a display reading at its own rate
// judges, from a pseudo-terminal or from an RFC 2217 client alike.

#include <cstdint>

namespace serial {

struct LineSettings {
    std::uint32_t baud = 0;  // 0: a rate the terminal has no number for
    int dataBits = 8;
    char parity = 'N';  // N, E, O, M (mark) or S (space)
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

}  // namespace serial
