#include "serial/serial_port.h"

#include <utility>

#include "serial/serial_port_backend.h"

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

bool CSerialPort::Open(std::string_view portName, std::uint32_t baudRate)
{
    if (m_hComm.valid()) {
        m_lastFailure = {OpenError::AlreadyOpen, 0, {}};
        return false;
    }
    const std::string path = backend::DevicePathForOpen(portName, &m_lastFailure);
    if (path.empty())
        return false;
    OwnedHandle port = backend::OpenConfigured(path, baudRate, &m_lastFailure);
    if (!port.valid())
        return false;
    m_hComm = std::move(port);
    return true;
}

bool CSerialPort::Close()
{
    if (!m_hComm.valid())
        return false;
    return backend::CloseHandleOf(m_hComm);
}

std::uint32_t CSerialPort::Write(const std::uint8_t* data, std::uint32_t count)
{
    return Write(data, count, std::stop_token());
}

std::uint32_t CSerialPort::Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop)
{
    if (count == 0)
        return kErrorInvalidParameter;
    if (!m_hComm.valid())
        return kErrorNotOpen;
    if (data == nullptr)
        return kErrorInvalidParameter;
    return backend::WriteAll(m_hComm.get(), data, count, stop);
}

}  // namespace serial
