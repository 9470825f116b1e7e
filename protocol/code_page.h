#pragma once
// The display's code page: GBK (code page 936) on Linux, the ANSI code page on Windows.
// One file per platform implements it.

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// UTF-8 text to the display's code page. A character the code page cannot hold becomes
// '?', one per character, so the text keeps its length; so does a malformed UTF-8 sequence.
std::string ToDisplayCodePage(std::string_view utf8);

// Whether this program can convert text to the display's code page at all: a static
// build, or a C library without conversion modules, cannot, and every character outside
// ASCII then becomes '?'. False, with the reason, when not; looked at once.
bool CodePageAvailable(std::string* why = nullptr);

// POSIX: whether the C library converts between these two character sets; false, with
// the reason, when not.
bool CanConvert(const char* to, const char* from, std::string* why = nullptr);

// Whether the byte begins a double-byte character of the display's code page.
bool IsDBCSLeadByte(std::uint8_t byte);

}  // namespace protocol
