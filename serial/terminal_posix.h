#pragma once
// Settings of a POSIX terminal line, shared by the lines a sender opens and a virtual
// display's own pseudo-terminal.

#include <termios.h>

#include <cstdint>

#include "serial/serial_port.h"

namespace serial {

// Sets an open terminal line raw at baudRate (8N1), reads back what the driver kept and
// purges both directions. False, with *failure set, when any step failed.
bool ConfigureLine(int fd, std::uint32_t baudRate, OpenFailure* failure);

// The rate of a terminal speed constant; 0 for one no port is opened at.
std::uint32_t BaudOfSpeed(speed_t speed);

}  // namespace serial
