#pragma once
// A terminal line on POSIX: its settings, shared by the lines a sender opens and a virtual
// display's own pseudo-terminal; and the one type behind both kinds of line a sender opens
// there, a serial device and a virtual display's pseudo-terminal reached through the
// virtual-port folder. The kinds differ in how a name is checked before and after the open
// (serial_port_posix.cpp) and in whether the line's settings are put back at the close.

#include <termios.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "serial/line.h"
#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial {

// Sets an open terminal line raw at baudRate (8N1), reads back what the driver kept and
// purges both directions. False, with *failure set, when any step failed.
bool ConfigureLine(int fd, std::uint32_t baudRate, OpenFailure* failure);

// The rate of a terminal speed constant; 0 for one no port is opened at.
std::uint32_t BaudOfSpeed(speed_t speed);

// The step of an open that failed; the same errno means different things at different
// steps.
enum class OpenStep { Open, Lock, Configure, Baud, Purge };

// The one place an errno of an open becomes the reason a user is told.
OpenError KindOfErrno(int err, OpenStep step);
// That reason with the errno and the system's own words for it.
OpenFailure FailureOf(int err, OpenStep step);

// Whether the device just opened is still the line its name was checked to be, before the
// line is touched: false, with *failure set, when not.
using AcceptOpened = std::function<bool(int fd, OpenFailure* failure)>;

// The checks after the open of each kind, on the device opened: a serial device is still a
// terminal line and not the kernel's console unless allowed; a virtual display's line is
// that too, and its display, which published path in folder, still runs with its link
// leading to this very device. False, with *failure set, when not.
bool AcceptOpenedDevice(int fd, const OpenOptions& options, OpenFailure* failure);
bool AcceptOpenedDisplayLine(const std::string& path, const std::string& folder, int fd, const OpenOptions& options,
                             OpenFailure* failure);

// What the line was set to before the open changed it.
using FoundSettings = std::optional<termios>;

// Opens the device at path (O_RDWR or O_RDONLY), non-blocking, checks it with accept,
// locks it (flock and exclusive mode), sets it raw at baudRate (8N1) and purges it. What
// the line was set to goes to *found. On any failure: an invalid handle, *failure set, the
// line as it was, and nothing held.
OwnedHandle OpenTerminal(const std::string& path, std::uint32_t baudRate, int access, const AcceptOpened& accept,
                         OpenFailure* failure, FoundSettings* found);

// The line OpenTerminal opened, for writing; its settings are put back at the close when
// given.
std::unique_ptr<Line> TerminalLine(OwnedHandle port, FoundSettings found);

}  // namespace serial
