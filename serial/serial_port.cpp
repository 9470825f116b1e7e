#include "serial/serial_port.h"

namespace serial {

std::string_view DescribeOpenError(OpenError kind)
{
    switch (kind) {
    case OpenError::None: return "no error";
    case OpenError::AlreadyOpen: return "a port is open already";
    case OpenError::BadName: return "not a serial port";
    case OpenError::NoSuchPort: return "no such port";
    case OpenError::PermissionDenied: return "permission denied";
    case OpenError::InUse: return "in use by another program";
    case OpenError::UnsupportedBaud: return "unsupported baud rate";
    case OpenError::Other: return "cannot open the port";
    }
    return "cannot open the port";
}

CSerialPort::~CSerialPort()
{
    Close();
}

}  // namespace serial
