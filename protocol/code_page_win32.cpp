#include "protocol/code_page.h"

#include <climits>

#include <windows.h>

namespace protocol {

namespace {

// Text longer than the conversion functions can count is refused rather than cut.
bool FitsInt(std::size_t size)
{
    return size <= static_cast<std::size_t>(INT_MAX);
}

// Malformed input becomes U+FFFD, which no ANSI code page holds: it leaves as '?'.
std::wstring Widen(UINT codePage, std::string_view text)
{
    if (text.empty() || !FitsInt(text.size()))
        return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string Narrow(UINT codePage, DWORD flags, const char* defaultChar, const std::wstring& wide)
{
    if (wide.empty() || !FitsInt(wide.size()))
        return {};
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0,
                                           defaultChar, nullptr);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), size, defaultChar,
                          nullptr);
    return text;
}

std::string ToUtf8(const std::wstring& wide)
{
    return Narrow(CP_UTF8, 0, nullptr, wide);
}

std::string ToAnsi(const std::wstring& wide)
{
    // Where the user has made UTF-8 the ANSI code page, the display gets UTF-8.
    if (::GetACP() == CP_UTF8)
        return ToUtf8(wide);

    // No ANSI code page holds a character beyond U+FFFF: it becomes one '?', not one
    // for each half of its UTF-16 pair.
    std::wstring units;
    units.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1])) {
            units.push_back(L'?');
            ++i;
        } else {
            units.push_back(wide[i]);
        }
    }
    // '?' for what the code page cannot hold, and no look-alike letters ("best fit"):
    // the display shows what was typed or a plain '?'.
    return Narrow(CP_ACP, WC_NO_BEST_FIT_CHARS, "?", units);
}

}  // namespace

std::string ToDisplayCodePage(std::string_view utf8)
{
    return ToAnsi(Widen(CP_UTF8, utf8));
}

std::string FromDisplayCodePage(std::string_view bytes)
{
    return ToUtf8(Widen(CP_ACP, bytes));
}

bool IsDBCSLeadByte(std::uint8_t byte)
{
    return ::IsDBCSLeadByte(byte) != FALSE;
}

bool CodePageAvailable(std::string*)
{
    return true;  // the ANSI code page comes with the system
}

}  // namespace protocol
