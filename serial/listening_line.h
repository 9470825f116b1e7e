#pragma once
// The former name of the read-open and the terminal settings, until its last user moves to
// serial/read_port.h and serial/terminal_posix.h.

#include "serial/read_port.h"
#include "serial/terminal_posix.h"

namespace serial {

inline bool CloseLine(OwnedHandle& port)
{
    return CloseForReading(port);
}

}  // namespace serial
