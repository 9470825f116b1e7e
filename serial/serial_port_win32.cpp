#include "serial/serial_port.h"

#include <algorithm>
#include <chrono>

#include <windows.h>

#include "common/wide_text.h"
#include "serial/port_name.h"
#include "serial/read_port.h"
#include "serial/serial_port_backend.h"
#include "serial/virtual_port_win32.h"

namespace serial {

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
// A reader's read ends once the line has been quiet this long after its first byte.
constexpr DWORD kReadGapMs = 20;
// A display leaves its pipe busy between two clients until its window's loop has seen the
// first one go, which on a loaded machine takes a while: a script's second display-send
// right after the first must not be told the port is in use. One wait that long for the
// pipe to listen again before it counts as held by another program.
constexpr DWORD kPipeBusyWaitMs = 2000;
// A display reads its pipe at its own pace, at least that of the slowest rate it offers
// (its default): a write that has not gone through in that time has stalled.
constexpr std::uint32_t kPipeRate = 2400;

using Clock = std::chrono::steady_clock;

enum class Step { Create, OpenPipe, Setup, GetState, SetState, SetTimeouts, Purge };

// The one place where a Windows error of Open becomes the reason a user is told.
OpenError KindOfError(DWORD error, Step step)
{
    if (step == Step::OpenPipe) {
        switch (error) {
        case ERROR_FILE_NOT_FOUND:  // the display ended since it was looked up
            return OpenError::NoSuchPort;
        case ERROR_PIPE_BUSY:  // the display talks to another program
            return OpenError::InUse;
        case ERROR_ACCESS_DENIED:
            return OpenError::PermissionDenied;
        default:
            return OpenError::Other;
        }
    }
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        return OpenError::NoSuchPort;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // The port is opened without sharing; Windows answers "access denied" while
        // another program holds it.
        return step == Step::Create ? OpenError::InUse : OpenError::PermissionDenied;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
        // The driver refuses a DCB it cannot run, in practice the baud rate.
        return step == Step::SetState ? OpenError::UnsupportedBaud : OpenError::Other;
    default:
        return OpenError::Other;
    }
}

OwnedHandle Failed(OpenFailure* failure, DWORD error, Step step)
{
    *failure = {KindOfError(error, step), static_cast<int>(error), wide_text::SystemMessage(error)};
    return {};
}

}  // namespace

std::uint32_t CSerialPort::TimeoutError() noexcept
{
    return ERROR_TIMEOUT;
}

std::uint32_t CSerialPort::CancelledError() noexcept
{
    return ERROR_OPERATION_ABORTED;
}

bool CSerialPort::IsDeviceGone(std::uint32_t writeResult) noexcept
{
    // What a write on an unplugged USB adapter ends with, depending on its driver.
    switch (writeResult) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    // A virtual display's pipe, once the display ended.
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return true;
    default:
        return false;
    }
}

// What Open found and set up on the line, for Close to undo. A COM port: its settings,
// put back so that the next program (or the system) finds the port as it was. A virtual
// display's pipe: nothing to put back, but a read kept waiting on it. The display never
// writes, so the read ends only when the display closes its end: the panel learns at
// once that a display was ended, as a hang-up on POSIX tells it, not at its next write.
struct backend::FoundSettings {
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    bool pipe = false;
    OwnedHandle ended;  // set when the read ends
    OVERLAPPED read{};
    std::uint8_t byte = 0;
    bool reading = false;  // the read is under way
    DWORD endedWith = 0;   // how the pipe ended; 0 while it has not
};

// Windows tells of a removed COM device through the window (WM_DEVICECHANGE) or a failing
// write, not through a descriptor; the end of a virtual display's pipe through the event
// of the read kept on it.
int CSerialPort::LineEventDescriptor() const noexcept
{
    return -1;
}

NativeHandle CSerialPort::LineEventHandle() const noexcept
{
    return m_found && m_found->pipe ? m_found->ended.get() : kNoHandle;
}

bool CSerialPort::LineHungUp()
{
    backend::FoundSettings* found = m_found.get();
    return m_hComm.valid() && found != nullptr && found->pipe && backend::PipeEnded(m_hComm.get(), *found);
}

void backend::FoundSettingsDeleter::operator()(FoundSettings* settings) const noexcept
{
    delete settings;
}

namespace backend {

void WaitForPipeEnd(HANDLE pipe, FoundSettings& found)
{
    found.read = OVERLAPPED{};
    found.read.hEvent = found.ended.get();
    if (::ReadFile(pipe, &found.byte, 1, nullptr, &found.read) || ::GetLastError() == ERROR_IO_PENDING) {
        found.reading = true;
        return;
    }
    // Ended already: the event tells it all the same.
    found.endedWith = ::GetLastError();
    ::SetEvent(found.ended.get());
}

bool PipeEnded(HANDLE pipe, FoundSettings& found)
{
    if (found.reading) {
        DWORD got = 0;
        if (::GetOverlappedResult(pipe, &found.read, &got, FALSE)) {
            // A byte from the display after all: not ours to read. Wait on.
            found.reading = false;
            WaitForPipeEnd(pipe, found);
        } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
            found.reading = false;
            found.endedWith = ::GetLastError();
        }
    }
    return found.endedWith != 0;
}

namespace {

void PutBack(HANDLE handle, const FoundSettings& found)
{
    DCB dcb = found.dcb;
    COMMTIMEOUTS timeouts = found.timeouts;
    ::SetCommState(handle, &dcb);
    ::SetCommTimeouts(handle, &timeouts);
}

// A virtual display's pipe, with no line to set up or put back: written, and read only to
// learn when the display ends (FoundSettings). The display may learn who we are, but not
// act as us.
OwnedHandle OpenPipe(const std::string& path, OpenFailure* failure, FoundLine* found)
{
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD kFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    HANDLE handle = ::CreateFileA(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY
        && ::WaitNamedPipeA(path.c_str(), kPipeBusyWaitMs))
        handle = ::CreateFileA(path.c_str(), kAccess, 0, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        // WaitNamedPipe's own time-out: the other program still holds the display.
        if (error == ERROR_SEM_TIMEOUT)
            error = ERROR_PIPE_BUSY;
        Failed(failure, error, Step::OpenPipe);
        // Said as on POSIX: the system's words for a pipe are no help to a user who
        // chose a port.
        if (failure->kind == OpenError::InUse)
            failure->osMessage.clear();
        else if (failure->kind == OpenError::NoSuchPort)
            failure->osMessage = "its virtual display is not running";
        return {};
    }
    OwnedHandle port(handle);
    FoundLine watch(new FoundSettings{});
    watch->pipe = true;
    watch->ended = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!watch->ended.valid())
        return Failed(failure, ::GetLastError(), Step::OpenPipe);
    WaitForPipeEnd(handle, *watch);
    *failure = {};
    *found = std::move(watch);
    return port;
}

// One overlapped WriteFile, ended by a stop (which sets `stopped`) or after waitMs
// (INFINITE on a COM port, whose driver's write time-out ends it).
std::uint32_t WriteOnce(HANDLE handle, const std::uint8_t* data, std::uint32_t count, HANDLE stopped,
                        const std::stop_token& stop, DWORD waitMs)
{
    const OwnedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done.valid())
        return ::GetLastError();
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    if (!::WriteFile(handle, data, count, nullptr, &overlapped)) {
        if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING)
            return error;
        HANDLE events[] = {done.get(), stopped};
        if (::WaitForMultipleObjects(2, events, FALSE, waitMs) != WAIT_OBJECT_0)
            ::CancelIoEx(handle, &overlapped);
    }
    DWORD written = 0;
    if (!::GetOverlappedResult(handle, &overlapped, &written, TRUE)) {
        const DWORD error = ::GetLastError();
        if (stop.stop_requested())
            return CSerialPort::CancelledError();
        return error == ERROR_OPERATION_ABORTED ? CSerialPort::TimeoutError() : error;
    }
    // A COM port's write succeeds when the write time-out ends it on a stalled line; only
    // the count tells that bytes are missing.
    if (written < count)
        return stop.stop_requested() ? CSerialPort::CancelledError() : CSerialPort::TimeoutError();
    return CSerialPort::kErrorSuccess;
}

// Opens and configures a COM port, for the access asked and with these time-outs. Every
// step works on a local owner, so that a failure closes the port again on the way out and
// no half-configured port is ever kept. What the line was set to goes to *found when given.
OwnedHandle OpenComPort(const std::string& path, std::uint32_t baudRate, DWORD access, COMMTIMEOUTS timeouts,
                        OpenFailure* failure, FoundLine* found)
{
    // No sharing: the display must hear one program at a time. Overlapped, so that a
    // write can wait for its end and for a stop at once (WriteAll), and a reader for its
    // bytes and anything else.
    HANDLE handle = ::CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failed(failure, ::GetLastError(), Step::Create);
    OwnedHandle port(handle);

    if (!::SetupComm(handle, kQueueSize, kQueueSize))
        return Failed(failure, ::GetLastError(), Step::Setup);

    // Flow control, special characters and error handling stay as the driver has them.
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(handle, &dcb))
        return Failed(failure, ::GetLastError(), Step::GetState);
    FoundLine before(new FoundSettings{dcb, {}});
    if (!::GetCommTimeouts(handle, &before->timeouts))
        return Failed(failure, ::GetLastError(), Step::GetState);
    // A step that fails from here on leaves the line as it was found.
    struct Undo {
        HANDLE handle;
        const FoundSettings* found;
        ~Undo()
        {
            if (found)
                PutBack(handle, *found);
        }
    } undo{handle, before.get()};
    dcb.BaudRate = baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!::SetCommState(handle, &dcb))
        return Failed(failure, ::GetLastError(), Step::SetState);
    if (!::SetCommTimeouts(handle, &timeouts))
        return Failed(failure, ::GetLastError(), Step::SetTimeouts);

    // Whatever an earlier program left in the queues is not ours to send or read.
    if (!::PurgeComm(handle, PURGE_TXCLEAR))
        return Failed(failure, ::GetLastError(), Step::Purge);
    if (!::PurgeComm(handle, PURGE_RXCLEAR))
        return Failed(failure, ::GetLastError(), Step::Purge);

    undo.found = nullptr;
    *failure = {};
    if (found != nullptr)
        *found = std::move(before);
    return port;
}

}  // namespace

OwnedHandle OpenConfigured(const std::string& path, std::uint32_t baudRate, const OpenOptions&, OpenFailure* failure,
                           FoundLine* found)
{
    if (win32::IsVirtualPipePath(path))
        return OpenPipe(path, failure, found);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = kReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutConstant;
    // WriteTimeout(rate, n) = n * perByte + constant, with perByte rounded up.
    const auto constant = WriteTimeout(baudRate, 0);
    const auto perByte = (WriteTimeout(baudRate, 1000) - constant + std::chrono::milliseconds(999)) / 1000;
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(std::max<long long>(1, perByte.count()));
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(constant.count());
    return OpenComPort(path, baudRate, GENERIC_READ | GENERIC_WRITE, timeouts, failure, found);
}

bool CloseHandleOf(OwnedHandle& port, FoundSettings* found)
{
    if (found != nullptr && found->pipe) {
        // The read's memory goes with `found`: it must have ended first.
        DWORD got = 0;
        if (found->reading && ::CancelIoEx(port.get(), &found->read))
            ::GetOverlappedResult(port.get(), &found->read, &got, TRUE);
        found->reading = false;
    } else if (found != nullptr) {
        PutBack(port.get(), *found);
    }
    return port.reset();
}

std::uint32_t WriteAll(NativeHandle handle, const std::uint8_t* data, std::uint32_t count, std::stop_token stop)
{
    if (stop.stop_requested())
        return CSerialPort::CancelledError();
    // A virtual display's pipe: one write, ended by the write time-out at the display's
    // pace. Nothing to purge or drain: the display takes the bytes as they come.
    const bool pipe = ::GetFileType(handle) == FILE_TYPE_PIPE;
    // Purge first, so a message never follows the remains of an earlier one.
    if (!pipe && !::PurgeComm(handle, PURGE_TXCLEAR | PURGE_RXCLEAR))
        return ::GetLastError();

    // The driver's write time-out ends WriteFile by this deadline; the wait for the queue
    // below keeps to it too.
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    const std::uint32_t rate = pipe ? kPipeRate : ::GetCommState(handle, &dcb) ? dcb.BaudRate : 0;
    const Clock::time_point deadline = Clock::now() + WriteTimeout(rate, count);

    const OwnedHandle stopped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopped.valid())
        return ::GetLastError();
    // In place before the write begins: a stop at any moment from here on, even one that
    // comes before WriteFile, sets the event that the waits below watch.
    const std::stop_callback onStop(stop, [event = stopped.get()] { ::SetEvent(event); });

    const DWORD waitMs = pipe ? static_cast<DWORD>(WriteTimeout(rate, count).count()) : INFINITE;
    if (const std::uint32_t result = WriteOnce(handle, data, count, stopped.get(), stop, waitMs);
        result != CSerialPort::kErrorSuccess || pipe)
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
        if (::WaitForSingleObject(stopped.get(), kDrainPollMs) == WAIT_OBJECT_0)
            return CSerialPort::CancelledError();
    }
}

}  // namespace backend

OwnedHandle OpenForReading(std::string_view portName, std::uint32_t baudRate, OpenFailure* failure)
{
    // A virtual display's pipe is no line to listen on: only a COM port is.
    const std::string path = WindowsDevicePath(portName);
    if (path.empty()) {
        *failure = {OpenError::BadName, 0, {}};
        return {};
    }
    // A read waits for its first byte as long as it takes, and ends once the line has been
    // quiet this long after it: a message comes whole at any rate from 2400 baud (4 ms a
    // byte), each byte on its own at lower rates. No total time-out: a quiet line costs no
    // wake-up. (The mode that ends a read at its first byte, interval and multiplier
    // MAXDWORD with a total constant, never ends a read under Wine.)
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadGapMs;
    return backend::OpenComPort(path, baudRate, GENERIC_READ, timeouts, failure, nullptr);
}

bool CloseForReading(OwnedHandle& port)
{
    return port.reset();
}

}  // namespace serial
