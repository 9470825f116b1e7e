#include "protocol/hex_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

using namespace std::string_literals;

using protocol::ByteArray;

TEST(HexDigitValue, DigitsOfEitherCaseAndNothingElse)
{
    struct Row {
        char c;
        int value;
    };
    const Row rows[] = {
        {'0', 0},
        {'9', 9},
        {'A', 10},
        {'F', 15},
        {'a', 10},
        {'f', 15},
        // Neighbours of the digit ranges.
        {'/', 255},
        {':', 255},
        {'@', 255},
        {'G', 255},
        {'`', 255},
        {'g', 255},
        {'\0', 255},
        {' ', 255},
        {',', 255},
        // High bytes whose low seven bits are digits must not pass for digits.
        {'\x80', 255},
        {'\xB0', 255},
        {'\xC1', 255},
        {'\xE6', 255},
        {'\xFF', 255},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(r.c)));
        EXPECT_EQ(protocol::HexDigitValue(r.c), r.value);
    }

    int digits = 0;
    for (int b = 0; b < 256; ++b)
        digits += protocol::HexDigitValue(static_cast<char>(b)) != 255;
    EXPECT_EQ(digits, 22);
}

struct DecodeRow {
    const char* name;
    std::string hex;
    ByteArray bytes;
    std::optional<std::size_t> undecodedAt;
};

TEST(HexToBytes, DecodesPairsSeparatorsAndStops)
{
    const DecodeRow rows[] = {
        {"single byte", "0C", {0x0C}, std::nullopt},
        {"upper case", "1B5141", {0x1B, 0x51, 0x41}, std::nullopt},
        {"lower case", "1b5141", {0x1B, 0x51, 0x41}, std::nullopt},
        {"mixed case", "1b5A4f", {0x1B, 0x5A, 0x4F}, std::nullopt},
        {"space and comma", "1B 51,41", {0x1B, 0x51, 0x41}, std::nullopt},
        {"CR LF", "1B\r\n51", {0x1B, 0x51}, std::nullopt},
        {"separators only", " ,\r\n, ", {}, std::nullopt},
        {"trailing separator", "1B ", {0x1B}, std::nullopt},
        {"empty", "", {}, std::nullopt},
        {"lone LF stops", "1B\n51", {0x1B}, 2},
        {"lone CR stops", "1B\r51", {0x1B}, 2},
        {"LF CR is no line break", "1B\n\r51", {0x1B}, 2},
        {"CR at the end", "1B\r", {0x1B}, 2},
        {"odd last digit dropped", "1B5", {0x1B}, 2},
        {"single digit", "7", {}, 0},
        {"non-digit in first pair", "1G23", {}, 0},
        {"non-digit first", "G123", {}, 0},
        {"separator inside a pair", "1B 5 1", {0x1B}, 3},
        {"0x prefix", "0x1B", {}, 0},
        {"high byte",
         "1B\xB1"
         "1",
         {0x1B},
         2},
        {"stops for good", "0CZZ0D", {0x0C}, 2},
        {"every byte value", "000A0D7F80FF", {0x00, 0x0A, 0x0D, 0x7F, 0x80, 0xFF}, std::nullopt},
    };
    for (const DecodeRow& r : rows) {
        SCOPED_TRACE(r.name);
        ByteArray out = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x11, 0x22};  // replaced
        const int count = protocol::HexToBytes(r.hex, &out);
        EXPECT_EQ(count, static_cast<int>(r.bytes.size()));
        EXPECT_EQ(out, r.bytes);
        EXPECT_EQ(protocol::HexUndecodedAt(r.hex), r.undecodedAt);
    }
}

TEST(HexToBytes, EveryByteSurvivesTheRoundTrip)
{
    // Byte by byte, so that no lead byte groups two of them.
    std::string hex;
    std::string digits;
    for (int b = 0; b < 256; ++b) {
        protocol::ChunkToHex(std::string(1, static_cast<char>(b)), &digits);
        hex += digits;
    }
    ASSERT_EQ(hex.size(), 512u);
    ByteArray out;
    ASSERT_EQ(protocol::HexToBytes(hex, &out), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(out[b], b);
}

TEST(BytesToHex, CaseAndSeparator)
{
    using protocol::HexCase;
    EXPECT_EQ(protocol::BytesToHex("\x1bQ\xff\x00"s), "1b51ff00");
    EXPECT_EQ(protocol::BytesToHex("\x1bQ\xff\x00"s, HexCase::Upper, " "), "1B 51 FF 00");
    EXPECT_EQ(protocol::BytesToHex("\xab"s, HexCase::Upper, " "), "AB");
    EXPECT_EQ(protocol::BytesToHex("", HexCase::Upper, " "), "");
}

TEST(ChunkToHex, ReplacesTheOutputWithLowerCaseDigits)
{
    struct Row {
        std::string chunk;
        const char* hex;
    };
    const Row rows[] = {
        {"0", "30"},          {"\x0F", "0f"},       {"\xF0", "f0"}, {std::string(1, '\0'), "00"},
        {"\xB5\xA5", "b5a5"}, {"\xFF\xFE", "fffe"},
    };
    for (const Row& r : rows) {
        std::string out = "left over from before";
        protocol::ChunkToHex(r.chunk, &out);
        EXPECT_EQ(out, r.hex);
    }
}

TEST(TextToHex, TwoLowerCaseDigitsPerByte)
{
    // The text and its digits, written out by hand; every byte is one pair, whatever it
    // begins or ends.
    const std::pair<std::string, const char*> rows[] = {
        {"", ""},
        {"8.8", "382e38"},
        {"12.34", "31322e3334"},
        {"\xB5\xA5", "b5a5"},  // a double-byte character
        {"\xB5"
         "A",
         "b541"},                    // a lead byte, then ASCII
        {"\xB5", "b5"},              // a lead byte alone
        {"1\xB5", "31b5"},           // a lead byte at the end
        {"\xD6\xD0\xCE", "d6d0ce"},  // a lead byte after a pair
        {"\x80\xFF", "80ff"},        // single bytes above 0x7F
        {std::string("a\0b", 3), "610062"},
    };
    for (const auto& [text, hex] : rows)
        EXPECT_EQ(protocol::TextToHex(text), hex) << testing::PrintToString(text);
}

TEST(TextToHex, ReadsNothingPastTheText)
{
    // A buffer of the exact size, so the sanitizer build catches a read past its end.
    auto text = std::make_unique<char[]>(2);
    text[0] = '1';
    text[1] = '\xD6';
    EXPECT_EQ(protocol::TextToHex(std::string_view(text.get(), 2)), "31d6");
}

}  // namespace
