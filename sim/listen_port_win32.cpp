#include "sim/listen_port.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "common/wide_text.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/virtual_port_win32.h"

namespace sim {

namespace {

// ListenPort keeps its OVERLAPPED in a block of 32 bytes, aligned to 8.
static_assert(sizeof(OVERLAPPED) <= 32 && alignof(OVERLAPPED) <= 8);

OVERLAPPED& OverlappedIn(unsigned char* block)
{
    return *reinterpret_cast<OVERLAPPED*>(block);
}

// The pipe's input buffer: a whole message and more, so a sender's write ends at once.
constexpr DWORD kPipeBuffer = 4096;
// A read of the COM port waits for its first byte as long as it takes and ends once the
// line has been quiet this long after it: a message comes whole at any rate from 2400 baud
// (4 ms a byte), each byte on its own at lower rates.
constexpr DWORD kComGapMs = 20;

// The one place an OS error becomes the text the user reads.
bool Fail(std::string* error, const std::string& what, DWORD err)
{
    if (error) *error = what + ": " + wide_text::SystemMessage(err);
    return false;
}

// Why a COM port did not open, in the sender's words ("in use by another program").
bool FailToOpen(std::string* error, const std::string& portName, std::uint32_t baudRate, DWORD err, bool setting)
{
    serial::OpenError kind = serial::OpenError::Other;
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED: kind = serial::OpenError::NoSuchPort; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: kind = setting ? serial::OpenError::PermissionDenied : serial::OpenError::InUse; break;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED: kind = setting ? serial::OpenError::UnsupportedBaud : serial::OpenError::Other; break;
    default: break;
    }
    const serial::OpenFailure failure{kind, static_cast<int>(err), wide_text::SystemMessage(err)};
    if (error) *error = serial::Quoted(portName) + ": " + serial::DescribeOpenFailure(failure, baudRate);
    return false;
}

// Frees what LocalAlloc gave (the security descriptor, a SID's text).
struct LocalFreer {
    void operator()(void* p) const noexcept { ::LocalFree(p); }
};

// A security descriptor whose list admits the user who runs the display, and no one else.
std::unique_ptr<void, LocalFreer> OwnUserOnly(DWORD* error)
{
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        *error = ::GetLastError();
        return nullptr;
    }
    const serial::OwnedHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> info(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, info.data(), size, &size)) {
        *error = ::GetLastError();
        return nullptr;
    }
    wchar_t* sidText = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid, &sidText)) {
        *error = ::GetLastError();
        return nullptr;
    }
    const std::unique_ptr<void, LocalFreer> sidOwner(sidText);
    // P: protected, nothing inherited; one entry: all rights for that user.
    const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sidText) + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        *error = ::GetLastError();
        return nullptr;
    }
    return std::unique_ptr<void, LocalFreer>(descriptor);
}

// A client that went away; the pipe then waits for the next one.
bool ClientGone(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

}  // namespace

bool ListenPort::OpenOwnLine(std::uint32_t baudRate, std::string* error)
{
    return OpenPipe(baudRate, error);
}

bool ListenPort::OpenPipe(std::uint32_t baudRate, std::string* error)
{
    const std::string path = serial::win32::NewVirtualPipePath();
    DWORD err = 0;
    const auto descriptor = OwnUserOnly(&err);
    if (!descriptor) return Fail(error, "the pipe's access list", err);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    // Byte mode, as a serial line; one instance, so that a second client is refused as
    // busy, the way a serial port opened without sharing refuses it; no client from
    // another machine. The first instance, so that no other program already listens
    // under the name. Both ways, though the display never writes: a client keeps a read
    // waiting on the pipe, which ends when the display does, and so learns it at once.
    serial::OwnedHandle pipe(::CreateNamedPipeW(
        wide_text::Widen(path).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, kPipeBuffer, 0,
        &attributes));
    if (pipe.get() == INVALID_HANDLE_VALUE) {
        pipe.release();
        return Fail(error, path, ::GetLastError());
    }
    if (!Listen(std::move(pipe), path, baudRate, true)) return Fail(error, path, m_readError);
    return true;
}

bool ListenPort::Listen(serial::OwnedHandle line, const std::string& path, std::uint32_t baudRate, bool pipe)
{
    serial::OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.valid()) {
        m_readError = ::GetLastError();
        return false;
    }
    m_read = std::move(line);
    m_event = std::move(event);
    m_devicePath = path;
    m_baud = baudRate;
    m_pipe = pipe;
    m_buffered = m_handedOut = 0;
    m_readError = 0;
    if (pipe ? StartConnect() : StartRead()) return true;
    m_read.reset();
    m_event.reset();
    return false;
}

bool ListenPort::OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error)
{
    const std::string path = serial::PortDevicePath(portName);
    if (path.empty()) {
        if (error)
            *error = serial::Quoted(portName) + ": " +
                     serial::DescribeOpenFailure({serial::OpenError::BadName, 0, {}}, baudRate);
        return false;
    }
    // Exclusive, as the sender opens a port: the display hears the line alone.
    serial::OwnedHandle port(::CreateFileW(wide_text::Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OVERLAPPED, nullptr));
    if (port.get() == INVALID_HANDLE_VALUE) {
        port.release();
        return FailToOpen(error, portName, baudRate, ::GetLastError(), false);
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port.get(), &dcb)) return FailToOpen(error, portName, baudRate, ::GetLastError(), true);
    dcb.BaudRate = baudRate;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!::SetCommState(port.get(), &dcb)) return FailToOpen(error, portName, baudRate, ::GetLastError(), true);
    // No total time-out: a quiet line costs no wake-up. (The mode that ends a read at its
    // first byte, interval and multiplier MAXDWORD with a total constant, never ends a read
    // under Wine.)
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kComGapMs;
    if (!::SetCommTimeouts(port.get(), &timeouts)) return FailToOpen(error, portName, baudRate, ::GetLastError(), true);
    // What came before the display listened is not its to show.
    ::PurgeComm(port.get(), PURGE_RXCLEAR);
    if (!Listen(std::move(port), path, baudRate, false))
        return FailToOpen(error, portName, baudRate, m_readError, true);
    return true;
}

bool ListenPort::StartConnect()
{
    OVERLAPPED& overlapped = OverlappedIn(m_overlapped);
    for (;;) {
        overlapped = {};
        overlapped.hEvent = m_event.get();
        m_pending = Pending::None;
        if (::ConnectNamedPipe(m_read.get(), &overlapped)) return StartRead();
        const DWORD err = ::GetLastError();
        if (err == ERROR_IO_PENDING) {
            m_pending = Pending::Connect;
            return true;
        }
        if (err == ERROR_PIPE_CONNECTED) return StartRead();  // a client came first
        if (err == ERROR_NO_DATA) {  // one came and went already
            ::DisconnectNamedPipe(m_read.get());
            continue;
        }
        m_readError = err;
        return false;
    }
}

bool ListenPort::StartRead()
{
    OVERLAPPED& overlapped = OverlappedIn(m_overlapped);
    overlapped = {};
    overlapped.hEvent = m_event.get();
    m_buffered = m_handedOut = 0;
    m_readError = 0;
    if (::ReadFile(m_read.get(), m_buffer, sizeof m_buffer, nullptr, &overlapped) ||
        ::GetLastError() == ERROR_IO_PENDING) {
        // Done at once or later, the result comes from GetOverlappedResult.
        m_pending = Pending::Read;
        return true;
    }
    m_pending = Pending::None;
    m_readError = ::GetLastError();
    return false;
}

ReadResult ListenPort::Read(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    if (!m_read.valid()) return ReadResult::Failed;
    OVERLAPPED& overlapped = OverlappedIn(m_overlapped);
    // A few rounds at most: a client that went is followed by listening again, a read
    // that found nothing by the next read.
    for (int round = 0; round < 4; ++round) {
        if (m_handedOut < m_buffered) {
            const std::size_t n = std::min(size, m_buffered - m_handedOut);
            std::memcpy(buffer, m_buffer + m_handedOut, n);
            m_handedOut += n;
            *count = n;
            // The buffer is free again: the next read may fill it.
            if (m_handedOut == m_buffered) StartRead();
            return ReadResult::Data;
        }
        DWORD err = m_readError;
        if (m_pending != Pending::None) {
            DWORD n = 0;
            const bool done = ::GetOverlappedResult(m_read.get(), &overlapped, &n, FALSE);
            err = done ? 0 : ::GetLastError();
            if (err == ERROR_IO_INCOMPLETE) return ReadResult::Nothing;
            const Pending finished = std::exchange(m_pending, Pending::None);
            if (done && finished == Pending::Connect) {
                StartRead();  // a failure to start shows in m_readError, in the next round
                continue;
            }
            if (done) {
                m_buffered = n;
                m_handedOut = 0;
                // Nothing read: a client's empty write, or a COM port's read that timed out.
                if (n == 0) StartRead();
                continue;
            }
            // A read that timed out is an empty one (Wine reports it as an error).
            if (err == ERROR_TIMEOUT && !m_pipe) {
                StartRead();
                continue;
            }
            m_readError = err;
        }
        if (m_pipe && ClientGone(err)) {
            // The client closed: the next one may connect at once.
            m_readError = 0;
            ::DisconnectNamedPipe(m_read.get());
            StartConnect();
            continue;
        }
        if (err == 0) return ReadResult::Nothing;
        m_readError = err;
        return serial::CSerialPort::IsDeviceGone(err) || err == ERROR_OPERATION_ABORTED ? ReadResult::HungUp
                                                                                       : ReadResult::Failed;
    }
    // Still going round (a COM port answering every read at once with nothing): the
    // event loop comes back here when the event is set again.
    return ReadResult::Nothing;
}

std::string ListenPort::ReadFailure() const
{
    return wide_text::SystemMessage(m_readError);
}

bool ListenPort::ReleaseAbandonedExclusive()
{
    return false;  // a pipe or a COM port is free again once its holder ends, however it ends
}

std::optional<LineSettings> ListenPort::ClientSettings() const
{
    return std::nullopt;  // a pipe has no line settings; a COM port's are the display's own
}

bool ListenPort::HidesSenderSettings() const noexcept
{
    return m_pipe;
}

ListenPort::~ListenPort()
{
    if (!m_read.valid() || m_pending == Pending::None) return;
    // The system writes into the buffer until the operation has ended: cancel it and wait.
    OVERLAPPED& overlapped = OverlappedIn(m_overlapped);
    DWORD n = 0;
    ::CancelIoEx(m_read.get(), &overlapped);
    ::GetOverlappedResult(m_read.get(), &overlapped, &n, TRUE);
}

}  // namespace sim
