#pragma once
// Text as every library of the project reads it, on every platform: comparisons that
// ignore the case of ASCII letters (port names, device names, the OS's messages), and the
// one reading of UTF-8 sequences.

#include <cstddef>
#include <string_view>

namespace common {

// Whether a and b are the same, the case of ASCII letters aside.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Whether text begins with prefix, the case of ASCII letters aside.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

// The UTF-8 character that begins at text[i] (i < text.size()).
struct Utf8Char {
    // Its bytes, 1 to 4, when well-formed; else the malformed part, at least 1: the lead
    // byte and the continuation bytes that belonged to it.
    std::size_t length = 0;
    // Well-formed: no stray continuation byte, overlong form, surrogate, value beyond
    // U+10FFFF or sequence cut short.
    bool valid = false;
    // Malformed only because the text ends inside it: more bytes may complete it.
    bool cut = false;
};
Utf8Char Utf8CharAt(std::string_view text, std::size_t i);

}  // namespace common
