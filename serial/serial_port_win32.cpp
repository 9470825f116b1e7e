// The Windows side of CSerialPort: what the errors of Windows mean, and which line a name
// opens: a COM port by its device path (com_line_win32.cpp), or a virtual display's named
// pipe by the path its running display published (pipe_line_win32.cpp).
#include "serial/serial_port.h"

#include <windows.h>

#include "common/wide_text.h"
#include "serial/line_win32.h"
#include "serial/network_line.h"
#include "serial/network_name.h"
#include "serial/port_name.h"
#include "serial/read_port.h"
#include "serial/virtual_port_win32.h"

namespace serial {

namespace {

constexpr std::uint32_t kDeviceGone[] = {
    // What a write on an unplugged USB adapter ends with, depending on its driver.
    ERROR_FILE_NOT_FOUND,
    ERROR_ACCESS_DENIED,
    ERROR_BAD_COMMAND,
    ERROR_GEN_FAILURE,
    ERROR_DEVICE_NOT_CONNECTED,
    ERROR_DEVICE_REMOVED,
    // A virtual display's pipe, once the display ended.
    ERROR_BROKEN_PIPE,
    ERROR_NO_DATA,
    ERROR_PIPE_NOT_CONNECTED,
    // A network port, once its server went away or reset the connection.
    WSAECONNRESET,
    WSAECONNABORTED,
    WSAESHUTDOWN,
};

}  // namespace

const WriteErrors kWriteErrors = {ERROR_TIMEOUT, ERROR_OPERATION_ABORTED, kDeviceGone};

namespace win32 {

namespace {

OpenError KindOfError(DWORD error, OpenStep step)
{
    if (step == OpenStep::OpenPipe) {
        switch (error) {
        case ERROR_FILE_NOT_FOUND:  // the display ended since it was looked up
            return OpenError::NoSuchPort;
        case ERROR_PIPE_BUSY:  // the display talks to another program
            return OpenError::InUse;
        case ERROR_ACCESS_DENIED: return OpenError::PermissionDenied;
        default: return OpenError::Other;
        }
    }
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED: return OpenError::NoSuchPort;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // The port is opened without sharing; Windows answers "access denied" while
        // another program holds it.
        return step == OpenStep::Create ? OpenError::InUse : OpenError::PermissionDenied;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
        // The driver refuses a DCB it cannot run, in practice the baud rate.
        return step == OpenStep::SetState ? OpenError::UnsupportedBaud : OpenError::Other;
    default: return OpenError::Other;
    }
}

}  // namespace

OpenFailure FailureOf(DWORD error, OpenStep step)
{
    if (step != OpenStep::OpenPipe)
        return {KindOfError(error, step), static_cast<int>(error), wide_text::SystemMessage(error)};
    // WaitNamedPipe's own time-out: the other program still holds the display.
    if (error == ERROR_SEM_TIMEOUT)
        error = ERROR_PIPE_BUSY;
    OpenFailure failure{KindOfError(error, step), static_cast<int>(error), wide_text::SystemMessage(error)};
    // Said as on POSIX: the system's words for a pipe are no help to a user who chose a
    // port.
    if (failure.kind == OpenError::InUse)
        failure.osMessage.clear();
    else if (failure.kind == OpenError::NoSuchPort)
        failure.osMessage = "its virtual display is not running";
    return failure;
}

std::uint32_t WriteOverlapped(HANDLE handle, const std::uint8_t* data, std::uint32_t count, const std::stop_token& stop,
                              DWORD waitMs)
{
    const OwnedHandle stopped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const OwnedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopped.valid() || !done.valid())
        return ::GetLastError();
    // In place before the write begins: a stop at any moment from here on, even one that
    // comes before WriteFile, sets the event that the wait below watches.
    const std::stop_callback onStop(stop, [event = stopped.get()] { ::SetEvent(event); });
    OVERLAPPED overlapped{};
    overlapped.hEvent = done.get();
    if (!::WriteFile(handle, data, count, nullptr, &overlapped)) {
        if (const DWORD error = ::GetLastError(); error != ERROR_IO_PENDING)
            return error;
        HANDLE events[] = {done.get(), stopped.get()};
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

}  // namespace win32

std::unique_ptr<Line> OpenLine(std::string_view name, std::uint32_t baudRate, const OpenOptions& options,
                               OpenFailure* failure)
{
    if (IsNetworkName(name))
        return OpenNetworkLine(name, baudRate, options, failure);
    // A COM port opens by its device path.
    if (const std::string path = WindowsDevicePath(name); !path.empty())
        return win32::OpenComLine(path, baudRate, failure);
    // A virtual port's name by the pipe its running display published, looked up now.
    if (!win32::IsVirtualPortName(name)) {
        *failure = {OpenError::BadName, 0, {}};
        return nullptr;
    }
    // No folder yet: no virtual display has run.
    const std::string folder = DefaultVirtualPortDir();
    if (folder.empty() || ::GetFileAttributesW(wide_text::Widen(folder).c_str()) == INVALID_FILE_ATTRIBUTES) {
        *failure = {OpenError::NoSuchPort, 0, "its virtual display is not running"};
        return nullptr;
    }
    std::string reason;
    if (!win32::VirtualFolderTrusted(folder, &reason)) {
        *failure = {OpenError::BadName, 0, reason};
        return nullptr;
    }
    const std::string pipe = win32::VirtualPortPipe(folder, std::string(name), &reason);
    if (pipe.empty()) {
        *failure = {OpenError::NoSuchPort, 0, reason};
        return nullptr;
    }
    return win32::OpenPipeLine(pipe, failure);
}

OwnedHandle OpenForReading(std::string_view portName, std::uint32_t baudRate, OpenFailure* failure)
{
    // A virtual display's pipe is no line to listen on: only a COM port is.
    const std::string path = WindowsDevicePath(portName);
    if (path.empty()) {
        *failure = {OpenError::BadName, 0, {}};
        return {};
    }
    // A read waits for its first byte as long as it takes, and ends once the line has been
    // quiet for 20 ms after it: a message comes whole at any rate from 2400 baud (4 ms a
    // byte), each byte on its own at lower rates. No total time-out: a quiet line costs no
    // wake-up. (The mode that ends a read at its first byte, interval and multiplier
    // MAXDWORD with a total constant, never ends a read under Wine.)
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 20;
    return win32::OpenComPort(path, baudRate, GENERIC_READ, timeouts, failure, nullptr);
}

bool CloseForReading(OwnedHandle& port)
{
    return port.reset();
}

}  // namespace serial
