#pragma once
// Reads the byte stream a customer display receives and keeps what it shows.
//
// Commands (ESC is 1B):
//   0C               Clear: every position blank, scrolling and flickering end; lamps stay
//   18               CAN, the same as Clear
//   ESC @            initialise: Clear, and every lamp dark
//   ESC s d          lamp select, d '0'..'4' or 00..04: 0 every lamp dark, 1 Price,
//                    2 Total, 3 Collect, 4 Change; one lamp is lit at a time
//   ESC Q A text CR  show the text (see rendering.h); a flickering display goes on flickering
//   ESC Q D text CR  scroll the text
//   ESC E p          the display flickers until the next Clear or scroll; p is read and
//                    not interpreted
//
// The stream may arrive in pieces of any size: a command cut between two reads completes
// with the next. Bytes that begin no command are skipped. Inside a text, CR ends it; 0C,
// 18 and ESC drop the unfinished text and act as commands; a text reaching 64 bytes
// without CR is ended there and shown. A malformed command is dropped and the byte that
// broke it is read afresh, so the decoder is never stuck and never holds more than 64
// bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/display_state.h"

namespace sim {

inline constexpr std::size_t kMaxTextBytes = 64;

class DisplayDecoder {
public:
    // Told of every command as it completes: a short description ("Clear", "Lamp Price",
    // "Show \"12.50\"") and whether it changed what the display shows (State() is then
    // the new state). Several commands may arrive in one piece; each is told on its own.
    using CommandSink = std::function<void(std::string_view what, bool changed)>;

    // Reads the bytes; returns whether the state changed.
    bool Feed(const std::uint8_t* data, std::size_t count, const CommandSink& onCommand);
    // The same; when done is given, the description of every command is appended to it.
    bool Feed(const std::uint8_t* data, std::size_t count, std::vector<std::string>* done = nullptr);
    bool Feed(std::string_view bytes, std::vector<std::string>* done = nullptr)
    {
        return Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), done);
    }

    const DisplayState& State() const noexcept { return m_state; }

    // Whether no command is half received.
    bool BetweenCommands() const noexcept { return m_phase == Phase::Idle; }

private:
    enum class Phase { Idle, Escape, LampDigit, TextKind, Text, FlickerParam };

    // Returns false when the byte was not taken and must be read again in Idle.
    bool Take(std::uint8_t b);
    void Clear();
    void EndText();
    void Completed(std::string_view what);

    DisplayState m_state;
    DisplayState m_told;                  // the state as the sink last heard of it
    const CommandSink* m_sink = nullptr;  // during Feed
    Phase m_phase = Phase::Idle;
    bool m_scroll = false;  // the text being received is a scroll text
    std::string m_text;
};

}  // namespace sim
