#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "sim/display_decoder.h"
#include "sim/rendering.h"
#include "sim/state_line.h"

namespace {

using sim::DisplayDecoder;
using sim::StateLine;

struct Case {
    const char* name;
    std::string bytes;
    const char* line;
};

// Each row: a byte stream from a fresh display, and what it shows afterwards.
const std::vector<Case> kCases = {
    // The panel's own messages.
    {"send data 12.50 with Price", "\x0c\x1bs1\x1bQA12.50\r", "[    12.50] lamps=Price mode=still"},
    {"send data empty, all dark", "\x0c\x1bs0\x1bQA\r", "[        ] lamps=none mode=still"},
    {"scrolling", "\x0c\x1bQD12345678\r", "[12345678] lamps=none mode=scrolling text=\"12345678\""},
    {"flickering", "\x0c\x1b\x45\x05\x1bQA8.8.8.8.8.8.8.8.\r", "[8.8.8.8.8.8.8.8.] lamps=none mode=flickering"},
    {"eights without the last point", "\x1bQA8.8.8.8.8.8.8.8\r", "[8.8.8.8.8.8.8.8] lamps=none mode=still"},
    {"point then seven digits fill all eight", "\x1bQA0.1234567\r", "[0.1234567] lamps=none mode=still"},
    // Layout of the text.
    {"more than eight digits: the last eight", "\x1bQA123456789\r", "[23456789] lamps=none mode=still"},
    {"leading point on a blank position", "\x1bQA.5\r", "[       .5] lamps=none mode=still"},
    {"second point on a blank position", "\x1bQA1..2\r", "[     1. .2] lamps=none mode=still"},
    {"point after a blank", "\x1bQA1 .2\r", "[     1 .2] lamps=none mode=still"},
    {"characters a digit cannot show are blank", "\x1bQA1K2\r", "[     1 2] lamps=none mode=still"},
    {"letters a digit can show", "\x1bQAHELP-\r", "[   HELP-] lamps=none mode=still"},
    {"control byte in a text is blank",
     std::string("\x1bQA1\x00"
                 "2\r",
                 7),
     "[     1 2] lamps=none mode=still"},
    {"double-byte character takes one blank position",
     "\x1bQA\xb5\xa5"
     "5\r",
     "[       5] lamps=none mode=still"},
    {"lone lead byte at the end", "\x1bQA5\xb5\r", "[      5 ] lamps=none mode=still"},
    {"double-byte trail byte is not a point", "\x1bQA\x81.\r", "[        ] lamps=none mode=still"},
    // Lamps.
    {"lamp Total", "\x1bs2", "[        ] lamps=Total mode=still"},
    {"lamp Collect", "\x1bs3", "[        ] lamps=Collect mode=still"},
    {"lamp Change", "\x1bs4", "[        ] lamps=Change mode=still"},
    {"one lamp at a time", "\x1bs1\x1bs3", "[        ] lamps=Collect mode=still"},
    {"lamps dark", "\x1bs4\x1bs0", "[        ] lamps=none mode=still"},
    {"lamp as a plain byte", "\x1bs\x02", "[        ] lamps=Total mode=still"},
    {"lamp byte 00", std::string("\x1bs4\x1bs\x00", 6), "[        ] lamps=none mode=still"},
    {"lamp digit out of range is ignored", "\x1bs2\x1bs5", "[        ] lamps=Total mode=still"},
    // Clearing.
    {"clear keeps the lamp", "\x1bs2\x1bQA42\r\x0c", "[        ] lamps=Total mode=still"},
    {"CAN clears", "\x1bs2\x1bQA42\r\x18", "[        ] lamps=Total mode=still"},
    {"initialise clears and darkens", "\x1bs4\x1bQA42\r\x1b@", "[        ] lamps=none mode=still"},
    {"clear ends scrolling", "\x1bQD123\r\x0c", "[        ] lamps=none mode=still"},
    {"clear ends flickering", "\x1b\x45\x05\x1bQA1\r\x0c", "[        ] lamps=none mode=still"},
    // Modes.
    {"show ends scrolling", "\x1bQD123\r\x1bQA4\r", "[       4] lamps=none mode=still"},
    {"show goes on flickering", "\x1b\x45\x05\x1bQA1\r\x1bQA2\r", "[       2] lamps=none mode=flickering"},
    {"scroll ends flickering", "\x1b\x45\x05\x1bQD12\r", "[      12] lamps=none mode=scrolling text=\"12\""},
    {"lamp select keeps the mode", "\x1bQD12\r\x1bs1", "[      12] lamps=Price mode=scrolling text=\"12\""},
    {"flicker parameter is any byte", "\x1bQA3\r\x1b\x45\x1b", "[       3] lamps=none mode=flickering"},
    {"long scroll text is kept whole", "\x1bQD1234567890.\r",
     "[34567890.] lamps=none mode=scrolling text=\"1234567890.\""},
    // Robustness.
    {"unknown bytes skipped", "abc\x07\x1bZ\x1bQA1\r", "[       1] lamps=none mode=still"},
    {"commands are case-sensitive", "\x1bqa1\r", "[        ] lamps=none mode=still"},
    {"escape escape", "\x1b\x1bs1", "[        ] lamps=Price mode=still"},
    {"escape then clear", "\x1bQA9\r\x1b\x0c", "[        ] lamps=none mode=still"},
    {"unknown text kind then command", "\x1bQX\x1bs1", "[        ] lamps=Price mode=still"},
    {"text cut by clear is dropped", "\x1bQA7\r\x1bQA12\x0c", "[        ] lamps=none mode=still"},
    {"text cut by escape: the new command holds", "\x1bQA7\r\x1bQA12\x1bs1", "[       7] lamps=Price mode=still"},
    {"text without CR shows nothing yet", "\x1bQA7\r\x1bQA12", "[       7] lamps=none mode=still"},
    {"CR LF", "\x1bQA7\r\n", "[       7] lamps=none mode=still"},
    {"text ended at 64 bytes", "\x1bQA" + std::string(60, '1') + "2345" + "6789\r\x1bs1",
     "[11112345] lamps=Price mode=still"},
    {"64 bytes then CR", "\x1bQA" + std::string(60, '1') + "2345\r", "[11112345] lamps=none mode=still"},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class DecoderCases : public ::testing::TestWithParam<Case> {};

TEST_P(DecoderCases, ShowsWhatAUserWouldSee)
{
    DisplayDecoder d;
    d.Feed(GetParam().bytes);
    EXPECT_EQ(StateLine(d.State()), GetParam().line);
}

TEST_P(DecoderCases, SameStateWhenCutAnywhere)
{
    const std::string& bytes = GetParam().bytes;
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        DisplayDecoder d;
        d.Feed(bytes.substr(0, cut));
        d.Feed(bytes.substr(cut));
        EXPECT_EQ(StateLine(d.State()), GetParam().line) << "cut at " << cut;
    }
    DisplayDecoder oneByOne;
    for (char c : bytes)
        oneByOne.Feed(std::string(1, c));
    EXPECT_EQ(StateLine(oneByOne.State()), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Decoder, DecoderCases, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string n;
    for (const char* p = info.param.name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
});

TEST(Decoder, ReportsWhatItDid)
{
    DisplayDecoder d;
    std::vector<std::string> done;
    d.Feed("\x0c\x1bs1\x1bQA12.50\r\x1b\x45\x05\x1bQD12\r\x1bs0\x1b@\x18", &done);
    const std::vector<std::string> expected = {"Clear",         "Lamp Price", "Show \"12.50\"", "Flicker",
                                               "Scroll \"12\"", "Lamps dark", "Initialise",     "Cancel"};
    EXPECT_EQ(done, expected);

    // A text as it came: what the digits cannot show (W, X, 中 in GBK) is named all the same.
    done.clear();
    d.Feed("\x1bQAWX.5\r\x1bQD\xd6\xd0"
           "1\r",
           &done);
    EXPECT_EQ(done, (std::vector<std::string>{"Show \"WX.5\"", "Scroll \"\xd6\xd0"
                                                               "1\""}));
}

TEST(Decoder, FeedTellsWhetherTheStateChanged)
{
    DisplayDecoder d;
    EXPECT_FALSE(d.Feed("\x0c"));     // blank already
    EXPECT_FALSE(d.Feed("\x1bQA1"));  // half a command
    EXPECT_FALSE(d.BetweenCommands());
    EXPECT_TRUE(d.Feed("\r"));
    EXPECT_TRUE(d.BetweenCommands());
    EXPECT_FALSE(d.Feed("\x1bQA1\r"));  // the same again
}

// Arbitrary bytes, weighted towards the bytes that begin and end commands. Whatever came
// before, the display keeps its rules, is split-proof and obeys the next message.
TEST(Decoder, ArbitraryBytes)
{
    const std::string interesting = std::string("\x0c\x0d\x18\x1b\x00\x01\x04sQADE@.05", 16);
    std::mt19937 rng(20240605);
    std::uniform_int_distribution<int> length(0, 160), byte(0, 255), pick(0, 1);
    std::uniform_int_distribution<std::size_t> which(0, interesting.size() - 1);

    for (int iteration = 0; iteration < 20000; ++iteration) {
        std::string bytes(static_cast<std::size_t>(length(rng)), '\0');
        for (char& c : bytes)
            c = pick(rng) ? interesting[which(rng)] : static_cast<char>(byte(rng));

        DisplayDecoder whole;
        whole.Feed(bytes);
        DisplayDecoder pieces;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 9)(rng);
            pieces.Feed(bytes.substr(at, n));
            at += n;
        }
        ASSERT_EQ(StateLine(pieces.State()), StateLine(whole.State())) << "iteration " << iteration;

        const sim::DisplayState& s = whole.State();
        int lit = 0;
        for (bool on : s.lamps)
            lit += on;
        ASSERT_LE(lit, 1);
        for (const sim::Cell& c : s.cells)
            ASSERT_TRUE(sim::Showable(c.ch)) << int(c.ch);
        ASSERT_LE(s.scrollText.size(), sim::kMaxTextBytes);
        if (s.mode != sim::Mode::Scrolling) {
            ASSERT_TRUE(s.scrollText.empty());
        }

        // CR ends a text or feeds a waiting flicker parameter; after it Clear is a Clear.
        whole.Feed("\r\x0c\x1bs1\x1bQA12.50\r");
        ASSERT_EQ(StateLine(whole.State()), "[    12.50] lamps=Price mode=still") << "iteration " << iteration;
    }
}

}  // namespace
