// A COM port as a sender's line: configured at the open, written with the driver's own
// write time-out, put back as it was found at the close.
#include "serial/line_win32.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace serial::win32 {

namespace {

// Both driver queues; the largest message is far smaller, so a write never waits for
// room in the output queue.
constexpr DWORD kQueueSize = 32768;

// The read time-outs are set although nothing is ever read, so that the port is left in
// a known state. A write of n bytes ends within WriteTimeout at the line's rate: the
// driver's total time-out is set to the same per byte and constant.
constexpr DWORD kReadIntervalTimeout = 1000;
constexpr DWORD kReadTotalTimeoutMultiplier = 100;
constexpr DWORD kReadTotalTimeoutConstant = 20000;
constexpr DWORD kDrainPollMs = 1;

using Clock = std::chrono::steady_clock;

void PutBack(HANDLE handle, const ComSettings& found)
{
    DCB dcb = found.dcb;
    COMMTIMEOUTS timeouts = found.timeouts;
    ::SetCommState(handle, &dcb);
    ::SetCommTimeouts(handle, &timeouts);
}

OwnedHandle Failed(OpenFailure* failure, DWORD error, OpenStep step)
{
    *failure = FailureOf(error, step);
    return {};
}

class ComLine final : public Line {
public:
    ComLine(OwnedHandle port, const ComSettings& found) noexcept : m_port(std::move(port)), m_found(found) {}
    ~ComLine() override { Close(); }

    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop) override
    {
        const HANDLE handle = m_port.get();
        // Purge first, so a message never follows the remains of an earlier one.
        if (!::PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR))
            return ::GetLastError();

        // The driver's write time-out ends WriteFile by this deadline; the wait for the queue
        // below keeps to it too.
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        const std::uint32_t rate = ::GetCommState(handle, &dcb) ? dcb.BaudRate : 0;
        const Clock::time_point deadline = Clock::now() + WriteTimeout(rate, count);
        if (const std::uint32_t result = WriteOverlapped(handle, data, count, stop, INFINITE);
            result != CSerialPort::kErrorSuccess)
            return result;

        // The write completes once the driver holds the bytes, which on a USB adapter can be
        // before they are on the wire: the next message's purge would cut off the tail of
        // this one. Return only once the driver's output queue is empty.
        for (;;) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(handle, &errors, &status))
                return ::GetLastError();
            if (status.cbOutQue == 0)
                return CSerialPort::kErrorSuccess;
            if (Clock::now() >= deadline)
                return CSerialPort::TimeoutError();
            if (stop.stop_requested())
                return CSerialPort::CancelledError();
            ::Sleep(kDrainPollMs);
        }
    }

    // Windows tells of a removed COM device through the window (WM_DEVICECHANGE) or a
    // failing write, not through a handle.
    NativeHandle EventHandle() const noexcept override { return kNoHandle; }
    bool HungUp() override { return false; }

    bool Close() override
    {
        if (!m_port.valid())
            return false;
        // The next program (or the system) finds the port as it was.
        PutBack(m_port.get(), m_found);
        return m_port.reset();
    }

private:
    OwnedHandle m_port;
    ComSettings m_found;
};

}  // namespace

OwnedHandle OpenComPort(const std::string& path, std::uint32_t baudRate, DWORD access, const COMMTIMEOUTS& timeouts,
                        OpenFailure* failure, ComSettings* found)
{
    // No sharing: the display must hear one program at a time. Overlapped, so that a
    // write can wait for its end and for a stop at once, and a reader for its bytes.
    HANDLE handle = ::CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(failure, ::GetLastError(), OpenStep::Create);
    OwnedHandle port(handle);

    if (!::SetupComm(handle, kQueueSize, kQueueSize))
        return Failed(failure, ::GetLastError(), OpenStep::Setup);

    // Flow control, special characters and error handling stay as the driver has them.
    ComSettings before;
    before.dcb.DCBlength = sizeof(before.dcb);
    if (!::GetCommState(handle, &before.dcb) || !::GetCommTimeouts(handle, &before.timeouts))
        return Failed(failure, ::GetLastError(), OpenStep::GetState);
    // A step that fails from here on leaves the line as it was found.
    struct Undo {
        HANDLE handle;
        const ComSettings* found;
        ~Undo()
        {
            if (found)
                PutBack(handle, *found);
        }
    } undo{handle, &before};
    DCB dcb = before.dcb;
    dcb.BaudRate = baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!::SetCommState(handle, &dcb))
        return Failed(failure, ::GetLastError(), OpenStep::SetState);
    COMMTIMEOUTS set = timeouts;
    if (!::SetCommTimeouts(handle, &set))
        return Failed(failure, ::GetLastError(), OpenStep::SetTimeouts);

    // Whatever an earlier program left in the queues is not ours to send or read.
    if (!::PurgeComm(handle, PURGE_TXCLEAR))
        return Failed(failure, ::GetLastError(), OpenStep::Purge);
    if (!::PurgeComm(handle, PURGE_RXCLEAR))
        return Failed(failure, ::GetLastError(), OpenStep::Purge);

    undo.found = nullptr;
    *failure = {};
    if (found != nullptr)
        *found = before;
    return port;
}

std::unique_ptr<Line> OpenComLine(const std::string& path, std::uint32_t baudRate, OpenFailure* failure)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = kReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutConstant;
    // WriteTimeout(rate, n) = n * perByte + constant, with perByte rounded up.
    const auto constant = WriteTimeout(baudRate, 0);
    const auto perByte = (WriteTimeout(baudRate, 1000) - constant + std::chrono::milliseconds(999)) / 1000;
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(std::max<long long>(1, perByte.count()));
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(constant.count());
    ComSettings found;
    OwnedHandle port = OpenComPort(path, baudRate, GENERIC_READ | GENERIC_WRITE, timeouts, failure, &found);
    if (!port.valid())
        return nullptr;
    return std::make_unique<ComLine>(std::move(port), found);
}

}  // namespace serial::win32
