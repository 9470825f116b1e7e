// The one conversion between 8-bit text and the UTF-16 of the Windows API.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/wide_text.h"

namespace {

struct Case {
    const char* name;
    std::string utf8;
    std::wstring utf16;
};

// Written out by hand: UTF-8 bytes and the UTF-16 units they stand for.
const Case kRoundTrips[] = {
    {"empty", "", L""},
    {"ascii", "COM5", L"COM5"},
    {"chinese", "\xE6\x8B\x92\xE7\xBB\x9D\xE8\xAE\xBF\xE9\x97\xAE", L"\x62D2\x7EDD\x8BBF\x95EE"},  // 拒绝访问
    {"beyond U+FFFF", "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
    {"embedded NUL", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
};

TEST(WideText, Utf8AndUtf16RoundTrip)
{
    for (const Case& c : kRoundTrips) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(wide_text::Widen(c.utf8), c.utf16);
        EXPECT_EQ(wide_text::Narrow(c.utf16), c.utf8);
    }
}

TEST(WideText, MalformedUtf8BecomesReplacementCharacters)
{
    const struct {
        const char* name;
        std::string utf8;
        std::wstring utf16;
    } cases[] = {
        {"lone lead byte at the end", "1\xE6", L"1\xFFFD"},
        {"stray continuation byte",
         "\x80"
         "2",
         L"\xFFFD"
         L"2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(wide_text::Widen(c.utf8), c.utf16);
    }
}

TEST(WideText, OtherCodePages)
{
    // GBK (936) for 中文, Latin-1 (1252) for é.
    EXPECT_EQ(wide_text::Widen("\xD6\xD0\xCE\xC4", 936), L"\x4E2D\x6587");
    EXPECT_EQ(wide_text::Narrow(L"\x4E2D\x6587", 936), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(wide_text::Narrow(L"\x00E9", 1252), "\xE9");
    // What the code page cannot hold becomes the default character asked for.
    EXPECT_EQ(wide_text::Narrow(L"a\x4E2D", 1252, WC_NO_BEST_FIT_CHARS, "?"), "a?");
}

}  // namespace
