// The display's code page on Windows: the ANSI code page. Under Wine it follows the Unix
// locale (LC_ALL=zh_CN.UTF-8 gives 936, GBK; C.UTF-8 gives 1252); CTest runs this program
// once for each, and DISPLAYTEST_EXPECT_ACP says which one the run must have.

#include "protocol/code_page.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "protocol/hex_codec.h"

namespace {

using protocol::IsDBCSLeadByte;
using protocol::TextToHex;
using protocol::ToDisplayCodePage;

const char kChinese[] = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const char kEuro[] = "\xE2\x82\xAC";                 // €
const char kEmoji[] = "\xF0\x9F\x98\x80";            // U+1F600, beyond the BMP
const char kAMacron[] = "\xC4\x81";                  // ā, "best fit" would make it 'a'

TEST(AnsiCodePage, IsTheOneThisRunAskedFor)
{
    const char* expected = std::getenv("DISPLAYTEST_EXPECT_ACP");
    if (expected == nullptr)
        GTEST_SKIP() << "DISPLAYTEST_EXPECT_ACP not set; ANSI code page " << ::GetACP();
    EXPECT_EQ(::GetACP(), static_cast<UINT>(std::atoi(expected)));
}

// acp: the ANSI code page a row holds for; 0, every code page.
TEST(ToDisplayCodePageWin32, Converts)
{
    struct Row {
        UINT acp;
        const char* name;
        std::string utf8;
        std::string display;
    };
    const Row rows[] = {
        {0, "empty", "", ""},
        {0, "digits and points", "12.50", "12.50"},
        {0, "NUL kept", std::string("1\0002", 3), std::string("1\0002", 3)},
        {0, "question mark kept", "?", "?"},
        // One '?' for the character, not one for each half of its UTF-16 pair.
        {0, "beyond the BMP", std::string("a") + kEmoji + "b", "a?b"},
        {936, "Chinese", kChinese, "\xD6\xD0\xCE\xC4"},
        {936, "mixed", "1\xE5\x85\x83", "1\xD4\xAA"},  // 1元
        {936, "euro sign", kEuro, "\x80"},
        {936, "letter outside GBK", "\xD5\xB1", "?"},  // Armenian small letter ayb
        {1252, "e acute", "caf\xC3\xA9", "caf\xE9"},
        {1252, "euro sign", kEuro, "\x80"},
        {1252, "Chinese", kChinese, "??"},
        {1252, "no best fit", kAMacron, "?"},
    };
    for (const Row& r : rows) {
        if (r.acp != 0 && r.acp != ::GetACP())
            continue;
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ToDisplayCodePage(r.utf8), r.display);
    }
}

TEST(ToDisplayCodePageWin32, MalformedUtf8BecomesQuestionMarks)
{
    // How many '?' a broken sequence gives is the converter's choice; only what the
    // display can show comes out, and the text around it stays.
    for (const std::string broken : {"\x80", "\xFF", "\xE4\xB8", "\xC0\xAF", "\xED\xA0\x80"}) {
        SCOPED_TRACE(TextToHex(broken));
        const std::string out = ToDisplayCodePage("1" + broken + "2");
        ASSERT_GE(out.size(), 3u);
        EXPECT_EQ(out.front(), '1');
        EXPECT_EQ(out.back(), '2');
        EXPECT_EQ(out.substr(1, out.size() - 2), std::string(out.size() - 2, '?'));
    }
}

TEST(IsDBCSLeadByteWin32, FollowsTheAnsiCodePage)
{
    if (::GetACP() == 936u) {
        // GBK: lead bytes 0x81 to 0xFE.
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(b);
            EXPECT_EQ(IsDBCSLeadByte(static_cast<std::uint8_t>(b)), b >= 0x81 && b <= 0xFE);
        }
    } else if (::GetACP() == 1252u) {
        for (int b = 0; b < 256; ++b)
            EXPECT_FALSE(IsDBCSLeadByte(static_cast<std::uint8_t>(b))) << b;
    } else {
        GTEST_SKIP() << "no table for ANSI code page " << ::GetACP();
    }
}

TEST(TextToHexWin32, TakesDoubleByteCharactersWhole)
{
    if (::GetACP() != 936u)
        GTEST_SKIP() << "this run has ANSI code page " << ::GetACP();
    // The display text of "中文1" and the same with a lone lead byte at the end.
    EXPECT_EQ(TextToHex(ToDisplayCodePage(std::string(kChinese) + "1")), "d6d0cec431");
    EXPECT_EQ(TextToHex("\xB5\xA5\xB5"), "b5a5b5");
}

}  // namespace
