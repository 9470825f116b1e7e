#pragma once
// The kinds of line a sender opens on Windows: a COM port (com_line_win32.cpp) and a
// virtual display's named pipe (pipe_line_win32.cpp). Which one a name opens, and what the
// errors of Windows mean, live in serial_port_win32.cpp. Private to the serial library.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

#include "serial/line.h"
#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial::win32 {

// The step of an open that failed; the same error means different things at different
// steps.
enum class OpenStep { Create, OpenPipe, Setup, GetState, SetState, SetTimeouts, Purge };

// The one place where a Windows error of an open becomes the reason a user is told, with
// the error and the system's own words for it.
OpenFailure FailureOf(DWORD error, OpenStep step);

// One overlapped WriteFile of count bytes, ended by a stop or after waitMs (INFINITE: the
// driver's write time-out ends it). 0, CSerialPort::TimeoutError() when it ended before
// every byte went, CSerialPort::CancelledError() once stop was requested, else the error.
std::uint32_t WriteOverlapped(HANDLE handle, const std::uint8_t* data, std::uint32_t count, const std::stop_token& stop,
                              DWORD waitMs);

// What a COM port was set to before the open changed it.
struct ComSettings {
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
};

// Opens the COM port at path, alone and overlapped, for the access asked; sets it to the
// rate, 8 data bits, no parity, one stop bit, with these time-outs, and purges it. What
// the line was set to goes to *found when given. On any failure: an invalid handle,
// *failure set, the line as it was, and nothing held.
OwnedHandle OpenComPort(const std::string& path, std::uint32_t baudRate, DWORD access, const COMMTIMEOUTS& timeouts,
                        OpenFailure* failure, ComSettings* found);

// A sender's lines: a COM port at its device path, written and put back as it was found at
// the close; a virtual display's pipe at the path its display published. Null, with
// *failure set, when the open failed.
std::unique_ptr<Line> OpenComLine(const std::string& path, std::uint32_t baudRate, OpenFailure* failure);
std::unique_ptr<Line> OpenPipeLine(const std::string& path, OpenFailure* failure);

}  // namespace serial::win32
