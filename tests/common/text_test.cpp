// Text as every library reads it, and the owner of any OS handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/owned.h"
#include "common/text.h"

namespace {

TEST(IgnoringCase, OnlyAsciiLettersFold)
{
    const struct {
        std::string a, b;
        bool equal, startsWith;
    } rows[] = {
        {"COM3", "com3", true, true},
        {"Permission denied", "permission DENIED", true, true},
        {"ttyUSB0", "ttyUSB", false, true},
        {"tty", "ttyUSB0", false, false},
        {"", "", true, true},
        {"[", "{", false, false},                // 0x5B and 0x7B differ by the case bit, yet are no letters
        {"\xC3\x89", "\xC3\xA9", false, false},  // É and é: UTF-8 is not folded
        {"COM1", "COM2", false, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(common::EqualsIgnoringCase(r.a, r.b), r.equal) << r.a << " / " << r.b;
        EXPECT_EQ(common::StartsWithIgnoringCase(r.a, r.b), r.startsWith) << r.a << " / " << r.b;
    }
}

TEST(Utf8CharAt, WellFormedMalformedAndCut)
{
    const struct {
        std::string text;
        std::size_t at, length;
        bool valid, cut;
    } rows[] = {
        {"A", 0, 1, true, false},
        {"a\xC3\xA9", 1, 2, true, false},          // é
        {"\xE6\x98\xBE", 0, 3, true, false},       // 显
        {"\xF0\x9F\x98\x80", 0, 4, true, false},   // U+1F600
        {"\x80", 0, 1, false, false},              // a stray continuation byte
        {"\xC0\x8A", 0, 1, false, false},          // an overlong line feed
        {"\xE0\x80\x80", 0, 1, false, false},      // overlong
        {"\xED\xA0\x80", 0, 1, false, false},      // a surrogate
        {"\xF4\x90\x80\x80", 0, 1, false, false},  // beyond U+10FFFF
        {"\xF5\x80", 0, 1, false, false},
        {"\xE6\x98"
         "A",
         0, 2, false, false},             // broken off: the lead and its one byte
        {"\xE6\x98", 0, 2, false, true},  // cut short by the end
        {"\xF0\x9F\x98", 0, 3, false, true},
        {"\xC3", 0, 1, false, true},
    };
    for (const auto& r : rows) {
        const common::Utf8Char c = common::Utf8CharAt(r.text, r.at);
        EXPECT_EQ(c.length, r.length) << testing::PrintToString(r.text);
        EXPECT_EQ(c.valid, r.valid) << testing::PrintToString(r.text);
        EXPECT_EQ(c.cut, r.cut) << testing::PrintToString(r.text);
    }
}

// A handle of its own kind whose closes are counted; 7 is one the OS refuses to close.
std::vector<int> g_closed;
template <bool kKept>
struct CountedTraits {
    using Handle = int;
    static Handle None() noexcept { return 0; }
    static bool Close(Handle h) noexcept
    {
        g_closed.push_back(h);
        return h != 7;
    }
    static constexpr bool kKeptWhenRefused = kKept;
};

TEST(Owned, ClosesOnceOnEveryPathAndKeepsARefusedHandleWhereItIsStillOurs)
{
    g_closed.clear();
    {
        common::Owned<CountedTraits<false>> a(3);
        common::Owned<CountedTraits<false>> b(std::move(a));
        EXPECT_FALSE(a.valid());
        a = std::move(b);  // nothing closed by a move
        EXPECT_EQ(b.get(), 0);
        common::Owned<CountedTraits<false>> released(4);
        EXPECT_EQ(released.release(), 4);
        EXPECT_FALSE(released.reset());
    }
    EXPECT_EQ(g_closed, std::vector<int>{3});

    g_closed.clear();
    common::Owned<CountedTraits<true>> kept(7);
    EXPECT_FALSE(kept.reset());
    EXPECT_TRUE(kept.valid());
    common::Owned<CountedTraits<false>> givenUp(7);
    EXPECT_FALSE(givenUp.reset());
    EXPECT_FALSE(givenUp.valid());
    EXPECT_EQ(g_closed, (std::vector<int>{7, 7}));
    (void)kept.release();
}

}  // namespace
