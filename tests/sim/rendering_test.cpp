#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/rendering.h"

namespace {

using sim::Cells;
using sim::CellsText;

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

}  // namespace
