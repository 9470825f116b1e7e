#pragma once
// Text between the 8-bit strings the project passes around (UTF-8, or a Windows code
// page) and the UTF-16 of the Windows API. Windows only; one copy for every library.

#include <string>
#include <string_view>

namespace wide_text {

inline constexpr unsigned kUtf8 = 65001;  // CP_UTF8

// UTF-16 from text in the code page; malformed input becomes U+FFFD. Empty for text
// longer than the Windows API can count: refused rather than cut.
std::wstring Widen(std::string_view text, unsigned codePage = kUtf8);

// Text in the code page from UTF-16. flags and defaultChar as WideCharToMultiByte takes
// them (both must stay 0 and null for UTF-8).
std::string Narrow(std::wstring_view wide, unsigned codePage = kUtf8, unsigned long flags = 0,
                   const char* defaultChar = nullptr);

// The system's own text for a Windows error code, in UTF-8, without the line break at its
// end; "error N" where the system has none.
std::string SystemMessage(unsigned long error);

}  // namespace wide_text
