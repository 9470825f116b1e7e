#include "common/wide_text.h"

#include <climits>

#include <windows.h>

namespace wide_text {

namespace {

bool FitsInt(std::size_t size)
{
    return size <= static_cast<std::size_t>(INT_MAX);
}

}  // namespace

std::wstring Widen(std::string_view text, unsigned codePage)
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

std::string Narrow(std::wstring_view wide, unsigned codePage, unsigned long flags, const char* defaultChar)
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

}  // namespace wide_text
