#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/rendering.h"
#include "sim/state_line.h"

namespace {

using sim::Cells;
using sim::CellsText;

TEST(Segments, Digits)
{
    // a b c d e f g as 0x01 .. 0x40
    const std::uint8_t expected[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    for (int d = 0; d < 10; ++d) EXPECT_EQ(sim::SegmentsOf(static_cast<char>('0' + d)), expected[d]) << d;
}

TEST(Segments, WhatADigitCannotShow)
{
    for (char c : std::string("KkMmVvWwXxZz.,:;!?*+/\"'\x1b\x7f")) {
        EXPECT_EQ(sim::SegmentsOf(c), 0) << c;
        EXPECT_FALSE(sim::Showable(c)) << c;
    }
    EXPECT_TRUE(sim::Showable(' '));
    EXPECT_FALSE(sim::Showable('\xb5'));
}

struct ScrollCase {
    unsigned tick;
    const char* frame;
};

TEST(Scroll, EntersRightLeavesLeftAndComesAgain)
{
    const std::vector<sim::Cell> text = sim::LayOutText("1.23");
    const ScrollCase cases[] = {
        {0, "        "}, {1, "       1."}, {3, "     1.23"}, {8, "1.23     "},
        {9, "23      "}, {10, "3       "}, {11, "        "}, {12, "       1."},
        {11 * 1000 + 3, "     1.23"},
    };
    for (const ScrollCase& c : cases) EXPECT_EQ(CellsText(sim::ScrollFrame(text, c.tick)), c.frame) << c.tick;
}

TEST(Scroll, LongTextPassesWhole)
{
    const std::vector<sim::Cell> text = sim::LayOutText("1234567890");
    EXPECT_EQ(CellsText(sim::ScrollFrame(text, 8)), "12345678");
    EXPECT_EQ(CellsText(sim::ScrollFrame(text, 10)), "34567890");
    EXPECT_EQ(CellsText(sim::ScrollFrame(text, 17)), "0       ");
    EXPECT_EQ(CellsText(sim::ScrollFrame({}, 5)), "        ");
}

TEST(Visible, FlickerLightsTwoTicksDarkTwo)
{
    sim::DisplayState s;
    s.cells = sim::RightAligned(sim::LayOutText("42"));
    s.lamps[0] = true;
    s.mode = sim::Mode::Flickering;
    const char* expected[] = {"      42", "      42", "        ", "        ", "      42"};
    for (unsigned tick = 0; tick < 5; ++tick) EXPECT_EQ(CellsText(sim::VisibleCells(s, tick)), expected[tick]);
    s.mode = sim::Mode::Still;
    EXPECT_EQ(CellsText(sim::VisibleCells(s, 2)), "      42");
}

TEST(StateLine, SeveralLampsJoined)
{
    sim::DisplayState s;
    s.lamps = {true, false, false, true};
    EXPECT_EQ(sim::StateLine(s), "[        ] lamps=Price,Change mode=still");
}

TEST(HexLine, PairsSeparatedByBlanks)
{
    const std::uint8_t bytes[] = {0x0C, 0x1B, 0x73, 0x31, 0x00, 0xFF};
    EXPECT_EQ(sim::HexLine(bytes, sizeof bytes), "0C 1B 73 31 00 FF");
    EXPECT_EQ(sim::HexLine(bytes, 0), "");
}

}  // namespace
