#include "serial/display_line.h"

#include "serial/port_name.h"
#include "serial/read_port.h"

namespace serial {

bool DisplayLine::OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error)
{
    OpenFailure failure;
    OwnedHandle port = OpenForReading(portName, baudRate, &failure);
    if (!port.valid()) {
        if (error)
            *error = Quoted(portName) + ": " + DescribeOpenFailure(failure, baudRate);
        return false;
    }
    HeldLine held = ListenOnDevice(std::move(port), portName, error);
    return held && Take(std::move(held), PortDevicePath(portName), baudRate);
}

bool DisplayLine::Take(HeldLine held, std::string devicePath, std::uint32_t baudRate)
{
    m_held = std::move(held);
    m_devicePath = std::move(devicePath);
    m_baud = baudRate;
    return true;
}

}  // namespace serial
