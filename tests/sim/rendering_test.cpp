#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/line_settings.h"
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
        {0, "        "},  {1, "       1."},  {3, "     1.23"},
        {8, "1.23     "}, {9, "23      "},   {10, "3       "},
        {11, "        "}, {12, "       1."}, {11 * 1000 + 3, "     1.23"},
    };
    for (const ScrollCase& c : cases)
        EXPECT_EQ(CellsText(sim::ScrollFrame(text, c.tick)), c.frame) << c.tick;
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
    for (unsigned tick = 0; tick < 5; ++tick)
        EXPECT_EQ(CellsText(sim::VisibleCells(s, tick)), expected[tick]);
    s.mode = sim::Mode::Still;
    EXPECT_EQ(CellsText(sim::VisibleCells(s, 2)), "      42");
}

}  // namespace

namespace {

// What a display at its rate, 8N1, makes of a sender's settings.
TEST(LineSettings, MisreadNoteAndDescription)
{
    using sim::LineSettings;
    const struct {
        LineSettings sender;
        std::uint32_t displayBaud;
        const char* described;
        const char* note;
    } rows[] = {
        {{2400, 8, 'N', 1}, 2400, "2400 8N1", ""},
        {{9600, 8, 'N', 1}, 9600, "9600 8N1", ""},
        {{2400, 8, 'N', 2}, 2400, "2400 8N2", ""},
        {{9600, 8, 'N', 1}, 2400, "9600 8N1", "sender at 9600 baud: a display at 2400 would show garbage"},
        {{1200, 8, 'N', 2}, 2400, "1200 8N2", "sender at 1200 baud: a display at 2400 would show garbage"},
        {{2400, 7, 'E', 1}, 2400, "2400 7E1", "sender at 2400 baud 7E1: a display at 2400 baud 8N1 would show garbage"},
        {{2400, 8, 'O', 2}, 2400, "2400 8O2", "sender at 2400 baud 8O2: a display at 2400 baud 8N1 would show garbage"},
        {{2400, 8, 'M', 1}, 9600, "2400 8M1", "sender at 2400 baud 8M1: a display at 9600 baud 8N1 would show garbage"},
        {{0, 8, 'N', 1},
         2400,
         "an unknown rate 8N1",
         "sender at an unknown rate: a display at 2400 would show garbage"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(sim::DescribeLine(r.sender), r.described);
        EXPECT_EQ(sim::MisreadNote(r.sender, r.displayBaud), r.note) << r.described;
    }
}

}  // namespace
