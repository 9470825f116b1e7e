#include "serial/display_line.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "common/owned_win32.h"
#include "common/wide_text.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/virtual_port_win32.h"

namespace serial {

namespace {

// The pipe's input buffer: a whole message and more, so a sender's write ends at once.
constexpr DWORD kPipeBuffer = 4096;

// The one place an OS error becomes the text the user reads.
bool Fail(std::string* error, const std::string& what, DWORD err)
{
    if (error)
        *error = what + ": " + wide_text::SystemMessage(err);
    return false;
}

// A security descriptor whose list admits the user who runs the display, and no one else.
common::OwnedLocalMemory OwnUserOnly(DWORD* error)
{
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        *error = ::GetLastError();
        return {};
    }
    const OwnedHandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> info(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, info.data(), size, &size)) {
        *error = ::GetLastError();
        return {};
    }
    wchar_t* sidText = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid, &sidText)) {
        *error = ::GetLastError();
        return {};
    }
    const common::OwnedLocalMemory sidOwner(sidText);
    // P: protected, nothing inherited; one entry: all rights for that user.
    const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sidText) + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        *error = ::GetLastError();
        return {};
    }
    return common::OwnedLocalMemory(descriptor);
}

// A client that went away; the pipe then waits for the next one.
bool ClientGone(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

}  // namespace

// The line, its event, and the one overlapped operation that runs on it at a time.
struct DisplayLine::Held {
    enum class Pending { None, Connect, Read };

    OwnedHandle read;   // the pipe or the COM port, overlapped
    OwnedHandle event;  // of overlapped; manual reset
    bool pipe = false;
    Pending pending = Pending::None;
    OVERLAPPED overlapped{};
    std::uint8_t buffer[4096] = {};
    std::size_t buffered = 0;  // bytes of the finished read not yet handed out
    std::size_t handedOut = 0;
    DWORD readError = 0;

    Held(OwnedHandle line, bool isPipe) : read(std::move(line)), pipe(isPipe) {}
    ~Held()
    {
        if (pending == Pending::None)
            return;
        // The system writes into the buffer until the operation has ended: cancel it and wait.
        DWORD n = 0;
        ::CancelIoEx(read.get(), &overlapped);
        ::GetOverlappedResult(read.get(), &overlapped, &n, TRUE);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    // Listens on the line: waits for a client of the pipe, or reads the COM port. False,
    // with readError set, when it cannot.
    bool Listen()
    {
        event = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event.valid()) {
            readError = ::GetLastError();
            return false;
        }
        return pipe ? StartConnect() : StartRead();
    }

    bool StartConnect()
    {
        for (;;) {
            overlapped = {};
            overlapped.hEvent = event.get();
            pending = Pending::None;
            if (::ConnectNamedPipe(read.get(), &overlapped))
                return StartRead();
            const DWORD err = ::GetLastError();
            if (err == ERROR_IO_PENDING) {
                pending = Pending::Connect;
                return true;
            }
            if (err == ERROR_PIPE_CONNECTED)
                return StartRead();      // a client came first
            if (err == ERROR_NO_DATA) {  // one came and went already
                ::DisconnectNamedPipe(read.get());
                continue;
            }
            readError = err;
            return false;
        }
    }

    bool StartRead()
    {
        overlapped = {};
        overlapped.hEvent = event.get();
        buffered = handedOut = 0;
        readError = 0;
        if (::ReadFile(read.get(), buffer, sizeof buffer, nullptr, &overlapped)
            || ::GetLastError() == ERROR_IO_PENDING) {
            // Done at once or later, the result comes from GetOverlappedResult.
            pending = Pending::Read;
            return true;
        }
        pending = Pending::None;
        readError = ::GetLastError();
        return false;
    }
};

void DisplayLine::HeldDeleter::operator()(Held* held) const noexcept
{
    delete held;
}

bool DisplayLine::OpenOwnLine(std::uint32_t baudRate, std::string* error)
{
    const std::string path = win32::NewVirtualPipePath();
    DWORD err = 0;
    const auto descriptor = OwnUserOnly(&err);
    if (!descriptor.valid())
        return Fail(error, "the pipe's access list", err);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    // Byte mode, as a serial line; one instance, so that a second client is refused as
    // busy, the way a serial port opened without sharing refuses it; no client from
    // another machine. The first instance, so that no other program already listens
    // under the name. Both ways, though the display never writes: a client keeps a read
    // waiting on the pipe, which ends when the display does, and so learns it at once.
    OwnedHandle pipe(::CreateNamedPipeW(wide_text::Widen(path).c_str(),
                                        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                        0, kPipeBuffer, 0, &attributes));
    if (pipe.get() == INVALID_HANDLE_VALUE) {
        pipe.release();
        return Fail(error, path, ::GetLastError());
    }
    HeldLine held(new Held(std::move(pipe), true));
    if (!held->Listen())
        return Fail(error, path, held->readError);
    return Take(std::move(held), path, baudRate);
}

DisplayLine::HeldLine DisplayLine::ListenOnDevice(OwnedHandle port, const std::string& portName, std::string* error)
{
    HeldLine held(new Held(std::move(port), false));
    if (held->Listen())
        return held;
    Fail(error, Quoted(portName), held->readError);
    return nullptr;
}

NativeHandle DisplayLine::HeldWaitHandle() const noexcept
{
    return m_held ? m_held->event.get() : kNoHandle;
}

ReadResult DisplayLine::HeldRead(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    if (!m_held)
        return ReadResult::Failed;
    Held& h = *m_held;
    // A few rounds at most: a client that went is followed by listening again, a read
    // that found nothing by the next read.
    for (int round = 0; round < 4; ++round) {
        if (h.handedOut < h.buffered) {
            const std::size_t n = std::min(size, h.buffered - h.handedOut);
            std::memcpy(buffer, h.buffer + h.handedOut, n);
            h.handedOut += n;
            *count = n;
            // The buffer is free again: the next read may fill it.
            if (h.handedOut == h.buffered)
                h.StartRead();
            return ReadResult::Data;
        }
        DWORD err = h.readError;
        if (h.pending != Held::Pending::None) {
            DWORD n = 0;
            const bool done = ::GetOverlappedResult(h.read.get(), &h.overlapped, &n, FALSE);
            err = done ? 0 : ::GetLastError();
            if (err == ERROR_IO_INCOMPLETE)
                return ReadResult::Nothing;
            const Held::Pending finished = std::exchange(h.pending, Held::Pending::None);
            if (done && finished == Held::Pending::Connect) {
                h.StartRead();  // a failure to start shows in readError, in the next round
                continue;
            }
            if (done) {
                h.buffered = n;
                h.handedOut = 0;
                // Nothing read: a client's empty write, or a COM port's read that timed out.
                if (n == 0)
                    h.StartRead();
                continue;
            }
            // A read that timed out is an empty one (Wine reports it as an error).
            if (err == ERROR_TIMEOUT && !h.pipe) {
                h.StartRead();
                continue;
            }
            h.readError = err;
        }
        if (h.pipe && ClientGone(err)) {
            // The client closed: the next one may connect at once.
            h.readError = 0;
            ::DisconnectNamedPipe(h.read.get());
            h.StartConnect();
            continue;
        }
        if (err == 0)
            return ReadResult::Nothing;
        h.readError = err;
        return CSerialPort::IsDeviceGone(err) || err == ERROR_OPERATION_ABORTED ? ReadResult::HungUp
                                                                                : ReadResult::Failed;
    }
    // Still going round (a COM port answering every read at once with nothing): the
    // event loop comes back here when the event is set again.
    return ReadResult::Nothing;
}

std::string DisplayLine::HeldReadFailure() const
{
    return wide_text::SystemMessage(m_held ? m_held->readError : 0);
}

bool DisplayLine::ReleaseAbandonedExclusive()
{
    return false;  // a pipe or a COM port is free again once its holder ends, however it ends
}

std::optional<LineSettings> DisplayLine::HeldClientSettings() const
{
    return std::nullopt;  // a pipe has no line settings; a COM port's are the display's own
}

bool DisplayLine::HeldHidesSenderSettings() const noexcept
{
    return m_held && m_held->pipe;
}

}  // namespace serial
