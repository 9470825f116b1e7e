#include "serial/cut_message.h"

#include "serial/serial_port.h"

namespace serial {

bool ClearFollows(std::uint32_t writeResult, bool begun)
{
    const WriteError error = WriteErrorOf(writeResult);
    return begun && (error == WriteError::TimedOut || error == WriteError::Cancelled);
}

}  // namespace serial
