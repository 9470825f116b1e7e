#include "protocol/code_page.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/hex_codec.h"

namespace {

TEST(ToDisplayCodePage, ConvertsToGbkAndReplacesWhatItCannotHold)
{
    struct Row {
        const char* name;
        std::string utf8;
        std::string display;
    };
    const Row rows[] = {
        {"empty", "", ""},
        {"digits and points", "12.50", "12.50"},
        {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},  // 中文
        {"mixed", "1\xE5\x85\x83", "1\xD4\xAA"},                      // 1元
        {"euro sign", "\xE2\x82\xAC", "\x80"},
        {"emoji",
         "a\xF0\x9F\x98\x80"
         "b",
         "a?b"},
        {"letter outside GBK", "\xD5\xB1", "?"},  // Armenian small letter ayb
        {"question mark kept", "?", "?"},
        {"NUL kept", std::string("1\0002", 3), std::string("1\0002", 3)},
        // Malformed UTF-8: each broken sequence becomes one '?'.
        {"stray continuation",
         "1\x80"
         "2",
         "1?2"},
        {"invalid byte", "\xFF", "?"},
        {"truncated at the end", "1\xE4\xB8", "1?"},
        {"truncated before ASCII",
         "\xE4\xB8"
         "A",
         "?A"},
        {"overlong slash", "\xC0\xAF", "??"},
        {"surrogate", "\xED\xA0\x80", "???"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(protocol::ToDisplayCodePage(r.utf8), r.display);
    }
}

TEST(IsDBCSLeadByte, GbkLeadBytes)
{
    for (const int b : {0x81, 0xD6, 0xFE})
        EXPECT_TRUE(protocol::IsDBCSLeadByte(b)) << b;
    for (const int b : {0x00, 0x7F, 0x80, 0xFF})
        EXPECT_FALSE(protocol::IsDBCSLeadByte(b)) << b;
}

TEST(ToDisplayCodePage, ChineseTextReachesTextToHexWhole)
{
    EXPECT_EQ(protocol::TextToHex(protocol::ToDisplayCodePage("\xE4\xB8\xAD"
                                                              "1")),
              "d6d031");
}

// A character set the C library cannot convert to is reported with its reason, not found
// out later as text full of '?'. GBK is there on this system.
TEST(CodePage, AConverterThatCannotOpenIsReported)
{
    std::string why;
    EXPECT_FALSE(protocol::CanConvert("NO-SUCH-CHARSET", "UTF-8", &why));
    EXPECT_NE(why.find("cannot convert from UTF-8 to NO-SUCH-CHARSET: "), std::string::npos) << why;
    EXPECT_TRUE(protocol::CanConvert("GBK", "UTF-8"));
    EXPECT_TRUE(protocol::CodePageAvailable(&why));
}

}  // namespace
