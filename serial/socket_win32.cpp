// TCP sockets on Windows (Winsock 2): non-blocking sockets, each tied by WSAEventSelect to
// a manual-reset event that tells of input, room to send and the peer's close. A wait
// watches that event beside one that a stop callback sets.
//
// Winsock records each network event once and sets the event; the call that consumes it
// (recv, send, accept) re-arms it, and WSAEnumNetworkEvents resets the event. Receive
// resets first and reads second, so that bytes coming after the read set the event again.
// FD_CLOSE comes only once: whoever sees it keeps it in Held::closed, and a wait that
// consumed news meant for the reader sets the event again before it returns.
#include "serial/socket.h"

#include "serial/socket_win32.h"

#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <functional>

#include "common/wide_text.h"
#include "serial/bounded_lookup.h"

namespace serial {

struct Socket::Held {
    OwnedHandle event;  // closed after the socket, which stops signalling it first
    win32::OwnedSocket socket;
    std::atomic<bool> closed{false};  // the peer's close was seen
    int lastError = 0;
};

struct ListeningSocket::Held {
    OwnedHandle event;
    win32::OwnedSocket socket;
    std::uint16_t port = 0;
};

void Socket::HeldDeleter::operator()(Held* held) const noexcept
{
    delete held;
}
void ListeningSocket::HeldDeleter::operator()(Held* held) const noexcept
{
    delete held;
}

namespace win32 {

bool StartWinsock() noexcept
{
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace win32

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kStreamEvents = FD_READ | FD_WRITE | FD_CLOSE;

// An event that a stop request sets, from the moment it is made.
class StopEvent {
public:
    explicit StopEvent(const std::stop_token& stop)
        : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_callback(stop, [event = m_event.get()] {
              if (event != nullptr)
                  ::SetEvent(event);
          })
    {
    }
    HANDLE Get() const { return m_event.get(); }

private:
    OwnedHandle m_event;
    std::stop_callback<std::function<void()>> m_callback;
};

DWORD MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<DWORD>(std::clamp<long long>(left, 0, 60'000));
}

enum class Waited { Ready, TimedOut, Stopped, Failed };

// Waits until event is set, deadline passes or stop is requested.
Waited WaitFor(HANDLE event, Clock::time_point deadline, const std::stop_token& stop)
{
    const StopEvent stopped(stop);
    if (stopped.Get() == nullptr)
        return Waited::Failed;
    for (;;) {
        if (stop.stop_requested())
            return Waited::Stopped;
        const HANDLE events[] = {event, stopped.Get()};
        const DWORD n = ::WaitForMultipleObjects(2, events, FALSE, MillisecondsUntil(deadline));
        if (n == WAIT_OBJECT_0 + 1 || stop.stop_requested())
            return Waited::Stopped;
        if (n == WAIT_OBJECT_0)
            return Waited::Ready;
        if (n != WAIT_TIMEOUT)
            return Waited::Failed;
        if (Clock::now() >= deadline)
            return Waited::TimedOut;
    }
}

// A stream socket's event, set up for input, room to send and the peer's close; set once
// at the start, so that whatever came before it was tied is looked at.
OwnedHandle TieStreamEvents(SOCKET socket, int* error)
{
    OwnedHandle event(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!event.valid()) {
        *error = static_cast<int>(::GetLastError());
        return {};
    }
    if (::WSAEventSelect(socket, event.get(), kStreamEvents) != 0) {
        *error = ::WSAGetLastError();
        return {};
    }
    return event;
}

void SetNoDelay(SOCKET socket)
{
    // A display's messages are small and go at once.
    const BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

constexpr int kResolveStopped = INT_MIN;
constexpr int kResolveTimedOut = INT_MIN + 1;

// getaddrinfo, given up at deadline or on a stop (serial/bounded_lookup.h). An address
// needs no lookup and none is started. 0 or getaddrinfo's error, a WSA code.
int ResolveBounded(const std::string& host, const std::string& service, const addrinfo& hints,
                   Clock::time_point deadline, const std::stop_token& stop, addrinfo** out)
{
    addrinfo numeric = hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    numeric.ai_flags &= ~AI_ADDRCONFIG;
    if (::getaddrinfo(host.c_str(), service.c_str(), &numeric, out) == 0)
        return 0;

    struct Found {
        int result = 0;
        addrinfo* list = nullptr;
    };
    Found found;
    const auto lookup = [host, service, hints] {
        Found f;
        f.result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &f.list);
        return f;
    };
    const auto drop = [](Found& f) {
        if (f.list != nullptr)
            ::freeaddrinfo(f.list);
    };
    switch (RunBounded(lookup, drop, deadline, stop, &found)) {
    case LookupEnd::Done: break;
    case LookupEnd::TimedOut: return kResolveTimedOut;
    case LookupEnd::Stopped: return kResolveStopped;
    case LookupEnd::NoThread: return WSA_NOT_ENOUGH_MEMORY;  // no thread to look the name up on
    }
    *out = found.list;
    return found.result;
}

// Connects one address, within deadline. 0, or the WSA error that ended it; WSAETIMEDOUT
// when the deadline passed, WSAEINTR on a stop.
int ConnectOne(const addrinfo& address, Clock::time_point deadline, const std::stop_token& stop,
               win32::OwnedSocket* socketOut, OwnedHandle* eventOut)
{
    win32::OwnedSocket socket(::WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol, nullptr, 0,
                                           WSA_FLAG_NO_HANDLE_INHERIT));
    if (!socket.valid())
        return ::WSAGetLastError();
    // Non-blocking from here on: WSAEventSelect makes it so.
    OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.valid())
        return static_cast<int>(::GetLastError());
    if (::WSAEventSelect(socket.get(), event.get(), FD_CONNECT | kStreamEvents) != 0)
        return ::WSAGetLastError();
    if (::connect(socket.get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        if (const int error = ::WSAGetLastError(); error != WSAEWOULDBLOCK)
            return error;
        for (;;) {
            switch (WaitFor(event.get(), deadline, stop)) {
            case Waited::Ready: break;
            case Waited::TimedOut: return WSAETIMEDOUT;
            case Waited::Stopped: return WSAEINTR;
            case Waited::Failed: return static_cast<int>(::GetLastError());
            }
            WSANETWORKEVENTS news{};
            if (::WSAEnumNetworkEvents(socket.get(), event.get(), &news) != 0)
                return ::WSAGetLastError();
            if ((news.lNetworkEvents & FD_CONNECT) == 0)
                continue;
            if (const int error = news.iErrorCode[FD_CONNECT_BIT]; error != 0)
                return error;
            break;
        }
    }
    SetNoDelay(socket.get());
    // What came with the connection (the server's first bytes, its close) is looked at.
    ::SetEvent(event.get());
    *socketOut = std::move(socket);
    *eventOut = std::move(event);
    return 0;
}

bool IsClosedError(int error)
{
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENETRESET || error == WSAESHUTDOWN
           || error == WSAETIMEDOUT;
}

}  // namespace

Socket::Socket() noexcept = default;
Socket::Socket(Held* held) noexcept : m_held(held)
{
}
Socket::~Socket() = default;
Socket::Socket(Socket&& other) noexcept = default;
Socket& Socket::operator=(Socket&& other) noexcept = default;

Socket Socket::Connect(const std::string& host, std::uint16_t port, Clock::time_point deadline, std::stop_token stop,
                       OpenFailure* failure)
{
    if (!win32::StartWinsock()) {
        *failure = {OpenError::Other, WSASYSNOTREADY, wide_text::SystemMessage(WSASYSNOTREADY)};
        return {};
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    const int looked = ResolveBounded(host, service, hints, deadline, stop, &list);
    if (looked == kResolveStopped) {
        *failure = {OpenError::Other, WSAEINTR, "cancelled"};
        return {};
    }
    if (looked == kResolveTimedOut) {
        *failure = {OpenError::NoAnswer, WSAETIMEDOUT, "no address for " + host + " within 3 s"};
        return {};
    }
    if (looked != 0) {
        const bool notFound =
            looked == WSAHOST_NOT_FOUND || looked == WSANO_DATA || looked == WSATRY_AGAIN || looked == WSANO_RECOVERY;
        *failure = {notFound ? OpenError::HostNotFound : OpenError::Other, 0, wide_text::SystemMessage(looked)};
        return {};
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(list, &::freeaddrinfo);

    int error = WSAEHOSTUNREACH;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        win32::OwnedSocket socket;
        OwnedHandle event;
        error = ConnectOne(*a, deadline, stop, &socket, &event);
        if (error == 0) {
            auto* held = new Held{std::move(event), std::move(socket)};
            *failure = {};
            return Socket(held);
        }
        if (error == WSAEINTR || error == WSAETIMEDOUT)
            break;
    }
    const OpenError kind = error == WSAECONNREFUSED ? OpenError::ConnectionRefused
                           : error == WSAETIMEDOUT  ? OpenError::NoAnswer
                                                    : OpenError::Other;
    *failure = {kind, error, error == WSAEINTR ? "cancelled" : wide_text::SystemMessage(error)};
    return {};
}

bool Socket::Valid() const noexcept
{
    return m_held && m_held->socket.valid();
}

std::uint32_t Socket::Send(const std::uint8_t* data, std::size_t count, std::chrono::milliseconds total,
                           std::chrono::milliseconds stall, std::stop_token stop)
{
    if (!Valid())
        return CSerialPort::kErrorNotOpen;
    Held& held = *m_held;
    const Clock::time_point end = Clock::now() + total;
    Clock::time_point stalledAt = Clock::now() + stall;
    // News for the reader that a wait here consumed: the event is set again at the end.
    bool readerNews = false;
    const auto finish = [&](std::uint32_t result) {
        if (readerNews)
            ::SetEvent(held.event.get());
        if (result != CSerialPort::kErrorSuccess && result != CSerialPort::TimeoutError()
            && result != CSerialPort::CancelledError())
            held.lastError = static_cast<int>(result);
        return result;
    };
    std::size_t sent = 0;
    while (sent < count) {
        if (stop.stop_requested())
            return finish(CSerialPort::CancelledError());
        const int chunk = static_cast<int>(std::min<std::size_t>(count - sent, INT_MAX));
        const int n = ::send(held.socket.get(), reinterpret_cast<const char*>(data + sent), chunk, 0);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            stalledAt = Clock::now() + stall;
            continue;
        }
        const int error = ::WSAGetLastError();
        if (n == SOCKET_ERROR && error != WSAEWOULDBLOCK)
            return finish(static_cast<std::uint32_t>(error));
        // The peer closed and takes no more: as good as a reset.
        if (held.closed)
            return finish(WSAECONNABORTED);
        switch (WaitFor(held.event.get(), std::min(end, stalledAt), stop)) {
        case Waited::Ready: break;
        case Waited::TimedOut: return finish(CSerialPort::TimeoutError());
        case Waited::Stopped: return finish(CSerialPort::CancelledError());
        case Waited::Failed: return finish(::GetLastError());
        }
        WSANETWORKEVENTS news{};
        if (::WSAEnumNetworkEvents(held.socket.get(), held.event.get(), &news) != 0)
            return finish(static_cast<std::uint32_t>(::WSAGetLastError()));
        if ((news.lNetworkEvents & FD_CLOSE) != 0)
            held.closed = true;
        if ((news.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0)
            readerNews = true;
    }
    return finish(CSerialPort::kErrorSuccess);
}

ReceiveResult Socket::Receive(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    if (!Valid())
        return ReceiveResult::Failed;
    Held& held = *m_held;
    // The event is reset before the read: bytes that come after it set it again.
    WSANETWORKEVENTS news{};
    if (::WSAEnumNetworkEvents(held.socket.get(), held.event.get(), &news) == 0
        && (news.lNetworkEvents & FD_CLOSE) != 0)
        held.closed = true;
    const int want = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    const int n = ::recv(held.socket.get(), reinterpret_cast<char*>(buffer), want, 0);
    if (n > 0) {
        *count = static_cast<std::size_t>(n);
        return ReceiveResult::Data;
    }
    if (n == 0)
        return ReceiveResult::Closed;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK)
        return held.closed ? ReceiveResult::Closed : ReceiveResult::Nothing;
    held.lastError = error;
    return IsClosedError(error) ? ReceiveResult::Closed : ReceiveResult::Failed;
}

bool Socket::WaitReadable(Clock::time_point deadline, std::stop_token stop)
{
    if (!Valid())
        return false;
    return m_held->closed || WaitFor(m_held->event.get(), deadline, stop) == Waited::Ready;
}

NativeHandle Socket::EventHandle() const noexcept
{
    return Valid() ? m_held->event.get() : kNoHandle;
}

int Socket::LastError() const noexcept
{
    return m_held ? m_held->lastError : 0;
}

std::string Socket::ErrorText(int error) const
{
    return wide_text::SystemMessage(static_cast<unsigned long>(error));
}

void Socket::Close() noexcept
{
    if (Valid())
        ::shutdown(m_held->socket.get(), SD_BOTH);
    m_held.reset();
}

ListeningSocket::ListeningSocket() noexcept = default;
ListeningSocket::~ListeningSocket() = default;
ListeningSocket::ListeningSocket(ListeningSocket&& other) noexcept = default;
ListeningSocket& ListeningSocket::operator=(ListeningSocket&& other) noexcept = default;

ListeningSocket ListeningSocket::Listen(const std::string& address, std::uint16_t port, std::string* error)
{
    if (!win32::StartWinsock()) {
        *error = "cannot start Winsock: " + wide_text::SystemMessage(WSASYSNOTREADY);
        return {};
    }
    const std::string host = address.empty() ? "127.0.0.1" : address;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0 || list == nullptr) {
        *error = "not an IP address: " + host;
        return {};
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(list, &::freeaddrinfo);
    const auto failed = [&](const std::string& what) {
        *error = what + ": " + wide_text::SystemMessage(static_cast<unsigned long>(::WSAGetLastError()));
        return ListeningSocket();
    };

    win32::OwnedSocket socket(
        ::WSASocketW(list->ai_family, list->ai_socktype, list->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    if (!socket.valid())
        return failed("cannot make a socket");
    // No other program may take the same port beside it.
    const BOOL on = TRUE;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    if (list->ai_family == AF_INET6)
        ::setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    if (::bind(socket.get(), list->ai_addr, static_cast<int>(list->ai_addrlen)) != 0 || ::listen(socket.get(), 4) != 0)
        return failed("cannot listen on " + host + ":" + std::to_string(port));
    sockaddr_storage bound{};
    int length = sizeof bound;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return failed("cannot tell the port listened on");
    const std::uint16_t taken =
        ::ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                           : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    OwnedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.valid()) {
        *error = "cannot make an event: " + wide_text::SystemMessage(::GetLastError());
        return {};
    }
    if (::WSAEventSelect(socket.get(), event.get(), FD_ACCEPT) != 0)
        return failed("cannot wait for connections");
    ListeningSocket result;
    result.m_held.reset(new Held{std::move(event), std::move(socket), taken});
    return result;
}

bool ListeningSocket::Valid() const noexcept
{
    return m_held && m_held->socket.valid();
}

std::uint16_t ListeningSocket::Port() const noexcept
{
    return m_held ? m_held->port : 0;
}

Socket ListeningSocket::Accept()
{
    if (!Valid())
        return {};
    // Reset before the accept: a connection that comes after it sets the event again.
    WSANETWORKEVENTS news{};
    ::WSAEnumNetworkEvents(m_held->socket.get(), m_held->event.get(), &news);
    for (;;) {
        win32::OwnedSocket socket(::accept(m_held->socket.get(), nullptr, nullptr));
        if (!socket.valid()) {
            // A connection reset before it was taken is skipped; anything else waits for
            // the next wake-up.
            if (::WSAGetLastError() == WSAECONNRESET)
                continue;
            return {};
        }
        // The accepted socket shares the listener's event and its FD_ACCEPT until it is
        // tied to an event of its own.
        int error = 0;
        OwnedHandle event = TieStreamEvents(socket.get(), &error);
        if (!event.valid())
            return {};
        SetNoDelay(socket.get());
        return Socket(new Socket::Held{std::move(event), std::move(socket)});
    }
}

NativeHandle ListeningSocket::EventHandle() const noexcept
{
    return Valid() ? m_held->event.get() : kNoHandle;
}

}  // namespace serial
