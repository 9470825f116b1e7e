#pragma once
// One kind of line behind CSerialPort: a serial device, a virtual display's line. Each kind
// is a type of its own per platform (terminal_posix.cpp; com_line_win32.cpp,
// pipe_line_win32.cpp), chosen once, when OpenLine resolves the name. Private to the
// serial library.

#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string_view>

#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial {

class Line {
public:
    virtual ~Line() = default;

    // Writes count (> 0) bytes, never behind the remains of an earlier write, and waits
    // until they left, within WriteTimeout and StallTimeout at the line's rate. 0,
    // CSerialPort::TimeoutError() when the line stalled, CSerialPort::CancelledError() once
    // stop was requested meanwhile (CSerialPort::Write answers a stop asked before), else
    // the OS error.
    virtual std::uint32_t Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop) = 0;

    // The handle that tells of news on the line (input, a hang-up, the display's end);
    // kNoHandle for a kind that tells none.
    virtual NativeHandle EventHandle() const noexcept = 0;

    // After such news: discards the input and tells whether the line hung up.
    virtual bool HungUp() = 0;

    // Puts back what the open changed on the line and closes it. False when the OS
    // refused; the line is given up either way.
    virtual bool Close() = 0;
};

// What this OS's errors of a write mean, for CSerialPort::TimeoutError, CancelledError and
// IsDeviceGone. One definition per platform, beside the reasons of its errors of an open.
struct WriteErrors {
    std::uint32_t timedOut;               // the line stalled past the write time-out
    std::uint32_t cancelled;              // a stop request ended the write
    std::span<const std::uint32_t> gone;  // the device itself went away
};
extern const WriteErrors kWriteErrors;

// Resolves a port's name (as for CSerialPort::Open) to its kind of line, checks it and
// opens it at the rate. Null, with *failure set, when any step failed; nothing is held
// then and the line is as it was. One definition per platform.
std::unique_ptr<Line> OpenLine(std::string_view name, std::uint32_t baudRate, const OpenOptions& options,
                               OpenFailure* failure);

}  // namespace serial
