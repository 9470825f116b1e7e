#pragma once
// The automatic demonstration as plain data: fourteen steps, one per period, each one
// command for the display with a label for the status line, and the run-time clock.

#include <array>
#include <chrono>
#include <string>
#include <string_view>

#include "protocol/display_commands.h"
#include "resources/captions.h"

namespace panel {

struct AutoStep {
    std::string_view command;  // hexadecimal command string, as held
    res::Text label;           // in the caption table
};

inline constexpr int kAutoStepCount = 14;

// Steps 1 to 14: Clear, growing decimal numbers, all eights with their points, then each
// lamp in turn. Step 1 is the manual actions' Clear; the others are held in lower case.
inline constexpr std::array<AutoStep, kAutoStepCount> kAutoSteps{{
    {protocol::cmd::kClear, res::Text::Step1},
    {"1b5141300d", res::Text::Step2},
    {"1b5141302e310d", res::Text::Step3},
    {"1b5141302e31320d", res::Text::Step4},
    {"1b5141302e3132330d", res::Text::Step5},
    {"1b5141302e313233340d", res::Text::Step6},
    {"1b5141302e31323334350d", res::Text::Step7},
    {"1b5141302e3132333435360d", res::Text::Step8},
    {"1b5141302e313233343536370d", res::Text::Step9},
    {"1b5141382e382e382e382e382e382e382e380d", res::Text::Step10},
    {"1b7331", res::Text::Step11},
    {"1b7332", res::Text::Step12},
    {"1b7333", res::Text::Step13},
    {"1b7334", res::Text::Step14},
}};

// The row of step 1 to 14.
const AutoStep& AutoStepAt(int step);

// The step after the given one: 14 is followed by 1.
int NextAutoStep(int step);

// Whole seconds from start to now, truncated toward zero.
long long ElapsedSeconds(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point now);

// The run-time clock "h:m:s", unpadded, whole days dropped. Every division truncates
// toward zero, so a negative time gives negative parts (-65 gives "0:-1:-5").
std::string FormatRunTime(long long seconds);

}  // namespace panel
