#include "serial/serial_port.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

#include "common/text.h"
#include "serial/line.h"

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
    case OpenError::KernelConsole: return "it is the kernel's console";
    case OpenError::HostNotFound: return "host not found";
    case OpenError::ConnectionRefused: return "connection refused";
    case OpenError::NoAnswer: return "no answer within 3 s";
    case OpenError::NotDeviceServer: return "not an RFC 2217 device server";
    case OpenError::Other: return "cannot open the port";
    }
    return "cannot open the port";
}

std::string DescribeOpenFailure(const OpenFailure& failure, std::uint32_t baudRate)
{
    const std::string_view reason = DescribeOpenError(failure.kind);
    std::string text(reason);
    if (failure.kind == OpenError::UnsupportedBaud)
        text += " " + std::to_string(baudRate);
    const std::string& os = failure.osMessage;
    if (!os.empty() && !common::EqualsIgnoringCase(os, reason))
        text += " (" + os + ")";
    return text;
}

WriteError WriteErrorOf(std::uint32_t result)
{
    switch (result) {
    case CSerialPort::kErrorSuccess: return WriteError::None;
    case CSerialPort::kErrorInvalidParameter: return WriteError::NothingToWrite;
    case CSerialPort::kErrorNotOpen: return WriteError::NotOpen;
    case CSerialPort::kErrorNotEnoughMemory: return WriteError::NoMemory;
    default: break;
    }
    if (result == CSerialPort::TimeoutError())
        return WriteError::TimedOut;
    if (result == CSerialPort::CancelledError())
        return WriteError::Cancelled;
    return CSerialPort::IsDeviceGone(result) ? WriteError::DeviceGone : WriteError::Other;
}

std::string DescribeWriteResult(std::uint32_t result)
{
    const std::string os = std::system_category().message(static_cast<int>(result));
    switch (WriteErrorOf(result)) {
    case WriteError::None: return "sent";
    case WriteError::NothingToWrite: return "nothing to write";
    case WriteError::NotOpen: return "no port is open";
    case WriteError::NoMemory: return "out of memory";
    case WriteError::TimedOut: return "the line did not take the bytes in time";
    case WriteError::Cancelled: return "stopped before every byte went out";
    case WriteError::DeviceGone: return "the port is gone (" + os + ")";
    case WriteError::Other: break;
    }
    return os;
}

namespace {

constexpr std::uint64_t kBitsPerByte = 10;  // start, 8 data, stop
constexpr std::uint64_t kWireMargin = 2;
constexpr std::uint64_t kWriteTimeoutConstantMs = 1000;
constexpr std::uint64_t kStallConstantMs = 3000;
constexpr std::uint64_t kUartFifoBytes = 16;

// Milliseconds that bytes take on the wire at the rate, rounded up; a rate of 0 counts as 1.
std::uint64_t WireMs(std::uint32_t baudRate, std::uint64_t bytes)
{
    const std::uint64_t rate = baudRate == 0 ? 1 : baudRate;
    return (bytes * kBitsPerByte * 1000 + rate - 1) / rate;
}

}  // namespace

std::chrono::milliseconds WriteTimeout(std::uint32_t baudRate, std::uint32_t count)
{
    const std::uint64_t ms = WireMs(baudRate, count) * kWireMargin + kWriteTimeoutConstantMs;
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ms));
}

std::chrono::milliseconds StallTimeout(std::uint32_t baudRate)
{
    const std::uint64_t ms = WireMs(baudRate, kUartFifoBytes) * kWireMargin + kStallConstantMs;
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ms));
}

bool ParseBaudRate(std::string_view text, std::uint32_t* baud)
{
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value == 0 || value > 0xFFFFFFFFu)
        return false;
    *baud = static_cast<std::uint32_t>(value);
    return true;
}

std::uint32_t CSerialPort::TimeoutError() noexcept
{
    return kWriteErrors.timedOut;
}

std::uint32_t CSerialPort::CancelledError() noexcept
{
    return kWriteErrors.cancelled;
}

bool CSerialPort::IsDeviceGone(std::uint32_t writeResult) noexcept
{
    return std::find(kWriteErrors.gone.begin(), kWriteErrors.gone.end(), writeResult) != kWriteErrors.gone.end();
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort()
{
    Close();
}

bool CSerialPort::Open(std::string_view portName, std::uint32_t baudRate, const OpenOptions& options)
{
    if (m_line) {
        m_lastFailure = {OpenError::AlreadyOpen, 0, {}};
        return false;
    }
    m_line = OpenLine(portName, baudRate, options, &m_lastFailure);
    return m_line != nullptr;
}

bool CSerialPort::Close()
{
    if (!m_line)
        return false;
    const bool closed = m_line->Close();
    m_line.reset();
    return closed;
}

std::uint32_t CSerialPort::Write(const std::uint8_t* data, std::uint32_t count)
{
    return Write(data, count, std::stop_token());
}

std::uint32_t CSerialPort::Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop)
{
    if (count == 0)
        return kErrorInvalidParameter;
    if (!m_line)
        return kErrorNotOpen;
    if (data == nullptr)
        return kErrorInvalidParameter;
    if (stop.stop_requested())
        return CancelledError();
    return m_line->Write(data, count, stop);
}

NativeHandle CSerialPort::LineEventHandle() const noexcept
{
    return m_line ? m_line->EventHandle() : kNoHandle;
}

bool CSerialPort::LineHungUp()
{
    return m_line && m_line->HungUp();
}

}  // namespace serial
