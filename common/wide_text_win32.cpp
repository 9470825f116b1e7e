#include "common/wide_text.h"

#include <climits>

#include <windows.h>

#include "common/owned_win32.h"

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
    const int size = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, defaultChar, nullptr);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), size, defaultChar, nullptr);
    return text;
}

std::string SystemMessage(unsigned long error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const common::OwnedLocalMemory held(text);
    if (length == 0 || text == nullptr)
        return "error " + std::to_string(error);
    std::wstring wide(text, length);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
        wide.pop_back();
    const std::string utf8 = Narrow(wide);
    return utf8.empty() ? "error " + std::to_string(error) : utf8;
}

}  // namespace wide_text
