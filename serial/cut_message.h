#pragma once
// The rule for the Clear that follows a message cut part-way, shared by the panel and the
// sender: a display that got only the start of a command (an ESC, half a text) reads what
// comes next as the rest of it, and Clear ends whatever it was.

#include <cstdint>

namespace serial {

// Whether a message written with this result (CSerialPort::Write, or protocol::StageAndWrite
// around it) may have left the display inside a half command, so that Clear must follow:
// the write was ended before every byte went out, by the line standing still (the write
// time-out) or by a stop, after it had begun (begun: the line was handed a part of it). A
// message sent whole, one refused before the line was touched, and a port that went away
// need none.
bool ClearFollows(std::uint32_t writeResult, bool begun);

}  // namespace serial
