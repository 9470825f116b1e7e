#include "protocol/code_page.h"

#include <windows.h>

#include "common/wide_text.h"

namespace protocol {

namespace {

using wide_text::Narrow;
using wide_text::Widen;

std::string ToAnsi(const std::wstring& wide)
{
    // Where the user has made UTF-8 the ANSI code page, the display gets UTF-8.
    if (::GetACP() == CP_UTF8)
        return Narrow(wide);

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
    return Narrow(units, CP_ACP, WC_NO_BEST_FIT_CHARS, "?");
}

}  // namespace

// Malformed input becomes U+FFFD, which no ANSI code page holds: it leaves as '?'.
std::string ToDisplayCodePage(std::string_view utf8)
{
    return ToAnsi(Widen(utf8));
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
