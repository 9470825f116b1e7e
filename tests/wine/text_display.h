#pragma once
// display-sim.exe in text mode, started by a Windows test under Wine: the virtual display
// a user without the hardware runs, whose state lines come to ReadLine.

#include <string>

#include "tests/wine/win32_process.h"

namespace wine_host {

struct TextDisplay : Process {
    // Starts the display and reads the lines it prints at once: where it listens, and the
    // dark display.
    TextDisplay(const std::string& program, DWORD startMs) : Process(program, {"--text"}, true)
    {
        banner = ReadLine(startMs).value_or("");
        blank = ReadLine(startMs).value_or("");
    }
    std::string banner;  // "listening on sim0 (\\.\pipe\...)"
    std::string blank;   // the state line of the dark display
};

inline constexpr char kDarkDisplay[] = "[        ] lamps=none mode=still";

}  // namespace wine_host
