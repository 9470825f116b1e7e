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

std::string Narrow(UINT codePage, const std::wstring& wide)
{
    if (wide.empty() || !FitsInt(wide.size()))
        return {};
    const int length = static_cast<int>(wide.size());
    // The ANSI code page takes '?' for what it cannot hold, and no look-alike letters
    // ("best fit"): the display shows what was typed or a plain '?'. UTF-8 holds all.
    const bool ansi = codePage != CP_UTF8;
    const DWORD flags = ansi ? WC_NO_BEST_FIT_CHARS : 0;
    const char* defaultChar = ansi ? "?" : nullptr;
    const int size = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0,
                                           defaultChar, nullptr);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), size, defaultChar,
                          nullptr);
    return text;
}

}  // namespace

std::string ToDisplayCodePage(std::string_view utf8)
{
    return Narrow(CP_ACP, Widen(CP_UTF8, utf8));
}

std::string FromDisplayCodePage(std::string_view bytes)
{
    return Narrow(CP_UTF8, Widen(CP_ACP, bytes));
}

bool IsDBCSLeadByte(std::uint8_t byte)
{
    return ::IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace protocol
