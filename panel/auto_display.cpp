#include "panel/auto_display.h"

#include <cstdio>

namespace panel {

const AutoStep& AutoStepAt(int step)
{
    return kAutoSteps.at(static_cast<std::size_t>(step - 1));
}

int NextAutoStep(int step)
{
    return step >= kAutoStepCount ? 1 : step + 1;
}

long long ElapsedSeconds(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point now)
{
    return std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
}

std::string FormatRunTime(long long s)
{
    const long long hours = s / 3600 - 24 * (s / 86400);
    const long long minutes = s / 60 - 60 * (s / 3600);
    const long long seconds = s - 60 * (s / 60);
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%lld:%lld", hours, minutes, seconds);
    return text;
}

}  // namespace panel
