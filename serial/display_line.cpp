#include "serial/display_line.h"

#include "serial/listening_line.h"
#include "serial/network_name.h"
#include "serial/port_name.h"
#include "serial/read_port.h"
#include "serial/served_line.h"

namespace serial {

bool DisplayLine::OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error)
{
    if (IsNetworkName(portName)) {
        std::unique_ptr<ServedLine> line = ServedLine::Open(portName, baudRate, error);
        if (!line)
            return false;
        std::string name = NetworkName(line->Where());
        return Take(HeldReader(line.release()), std::move(name), baudRate);
    }
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

bool DisplayLine::Listen(const NetworkPort& where, std::uint32_t baudRate, std::string* error)
{
    std::unique_ptr<ListeningLine> line = ListeningLine::Listen(where, baudRate, error);
    if (!line)
        return false;
    std::string name = NetworkName(line->Where());
    return Take(HeldReader(line.release()), std::move(name), baudRate);
}

void DisplayLine::NetworkDeleter::operator()(NetworkReader* line) const noexcept
{
    delete line;
}

bool DisplayLine::Take(HeldReader network, std::string devicePath, std::uint32_t baudRate)
{
    m_held.reset();
    m_network = std::move(network);
    m_devicePath = std::move(devicePath);
    m_baud = baudRate;
    return true;
}

NativeHandle DisplayLine::WaitHandle() const noexcept
{
    return m_network ? m_network->WaitHandle() : HeldWaitHandle();
}

ReadResult DisplayLine::Read(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    return m_network ? m_network->Read(buffer, size, count) : HeldRead(buffer, size, count);
}

std::string DisplayLine::ReadFailure() const
{
    return m_network ? m_network->ReadFailure() : HeldReadFailure();
}

std::optional<LineSettings> DisplayLine::ClientSettings() const
{
    return m_network ? m_network->ClientSettings() : HeldClientSettings();
}

bool DisplayLine::HidesSenderSettings() const noexcept
{
    return m_network ? m_network->HidesSenderSettings() : HeldHidesSenderSettings();
}

bool DisplayLine::Take(HeldLine held, std::string devicePath, std::uint32_t baudRate)
{
    m_network.reset();
    m_held = std::move(held);
    m_devicePath = std::move(devicePath);
    m_baud = baudRate;
    return true;
}

}  // namespace serial
