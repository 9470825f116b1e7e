#pragma once
// A real serial port opened for reading, for a program that listens on it (the virtual
// display): the name, checks, lock, line settings (the rate, 8 data bits, no parity, one
// stop bit) and error reasons of CSerialPort::Open, for a program that only reads. One
// implementation per platform.

#include <cstdint>
#include <string_view>

#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial {

// Opens the port named as for CSerialPort::Open, for reading only, held alone and set raw
// at baudRate, 8N1, with nothing left in its input. POSIX: a terminal line, non-blocking,
// locked and in exclusive mode. Windows: a COM port (a virtual display's name is refused),
// overlapped; a read waits for its first byte as long as it takes and ends once the line
// has been quiet for 20 ms after it. Invalid, with *failure set, when any step failed;
// nothing is held then.
OwnedHandle OpenForReading(std::string_view portName, std::uint32_t baudRate, OpenFailure* failure);

// Gives up what OpenForReading set on the line that outlives the handle (exclusive mode,
// on POSIX), then closes it. False when nothing was held or the OS refused.
bool CloseForReading(OwnedHandle& port);

}  // namespace serial
