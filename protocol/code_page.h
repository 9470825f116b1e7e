#pragma once
// The display's code page: GBK (code page 936) on Linux, the ANSI code page on Windows.
// One file per platform implements it.

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// UTF-8 text to the display's code page. A character the code page cannot hold becomes
// '?', as the Windows conversion does; so does a malformed UTF-8 sequence.
std::string ToDisplayCodePage(std::string_view utf8);

// The display's code page back to UTF-8, for showing received text.
std::string FromDisplayCodePage(std::string_view bytes);

// Whether the byte begins a double-byte character of the display's code page.
bool IsDBCSLeadByte(std::uint8_t byte);

}  // namespace protocol
