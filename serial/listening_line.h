#pragma once
// The listening end of a line, for the virtual display (POSIX): the checks, lock and line
// settings of CSerialPort::Open, for a program that only reads.

#include <termios.h>

#include <cstdint>
#include <string_view>

#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial {

// Opens the port named as for CSerialPort::Open, for reading only, locked exclusively and
// set raw at baudRate, 8 data bits, no parity, one stop bit. Invalid, with *failure set,
// when any step failed; nothing is held then.
OwnedHandle OpenForReading(std::string_view portName, std::uint32_t baudRate, OpenFailure* failure);

// Sets an open terminal line raw at baudRate (8N1), reads back what the driver kept and
// purges both directions. False, with *failure set, when any step failed.
bool ConfigureLine(int fd, std::uint32_t baudRate, OpenFailure* failure);

// The rate of a terminal speed constant; 0 for one no port is opened at.
std::uint32_t BaudOfSpeed(speed_t speed);

// Gives up the exclusive mode OpenForReading set, then closes. False when nothing was held.
bool CloseLine(OwnedHandle& port);

}  // namespace serial
