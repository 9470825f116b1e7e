// TCP sockets on POSIX: non-blocking descriptors, waited on with poll. A stop request
// wakes a wait through a pipe that a stop callback writes to.
#include "serial/socket.h"

#include "serial/bounded_lookup.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <optional>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serial {

struct Socket::Held {
    OwnedHandle fd;
    int lastError = 0;
};

struct ListeningSocket::Held {
    OwnedHandle fd;
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

namespace {

using Clock = std::chrono::steady_clock;

// A pipe whose read end turns readable once stop is requested, for poll to wait on beside
// the socket.
class StopWake {
public:
    explicit StopWake(std::stop_token stop)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            m_read = OwnedHandle(fds[0]);
            m_write = OwnedHandle(fds[1]);
        }
        m_callback.emplace(std::move(stop), [this] {
            const char byte = 1;
            if (m_write.valid())
                (void)!::write(m_write.get(), &byte, 1);
        });
    }
    int Fd() const { return m_read.valid() ? m_read.get() : -1; }

private:
    OwnedHandle m_read;
    OwnedHandle m_write;
    std::optional<std::stop_callback<std::function<void()>>> m_callback;
};

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

enum class Waited { Ready, TimedOut, Stopped, Failed };

// Waits for events on fd until deadline, or until stop is requested.
Waited WaitFor(int fd, short events, Clock::time_point deadline, const std::stop_token& stop)
{
    const StopWake wake(stop);
    for (;;) {
        if (stop.stop_requested())
            return Waited::Stopped;
        pollfd fds[2] = {{fd, events, 0}, {wake.Fd(), POLLIN, 0}};
        const int n = ::poll(fds, 2, MillisecondsUntil(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Waited::Failed;
        if (fds[1].revents != 0 || stop.stop_requested())
            return Waited::Stopped;
        if (fds[0].revents != 0)
            return Waited::Ready;
        if (Clock::now() >= deadline)
            return Waited::TimedOut;
    }
}

constexpr int kResolveStopped = INT_MIN;
constexpr int kResolveTimedOut = INT_MIN + 1;

// getaddrinfo, given up at deadline or on a stop. A name lookup cannot be bounded or
// stopped: it runs on a thread of its own, which frees what it finds by itself when
// nobody waits for it any more. An address needs no lookup and none is started.
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
    case LookupEnd::NoThread: return EAI_MEMORY;  // no thread to look the name up on
    }
    *out = found.list;
    return found.result;
}

OpenFailure Failure(OpenError kind, int err, std::string words)
{
    return {kind, err, std::move(words)};
}

// Connects one address, within deadline. 0, or the errno that ended it; ETIMEDOUT when the
// deadline passed, ECANCELED on a stop.
int ConnectOne(const addrinfo& address, Clock::time_point deadline, const std::stop_token& stop, OwnedHandle* out)
{
    OwnedHandle fd(
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (!fd.valid())
        return errno;
    if (::connect(fd.get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS)
            return errno;
        switch (WaitFor(fd.get(), POLLOUT, deadline, stop)) {
        case Waited::Ready: break;
        case Waited::TimedOut: return ETIMEDOUT;
        case Waited::Stopped: return ECANCELED;
        case Waited::Failed: return errno;
        }
        int err = 0;
        socklen_t length = sizeof err;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &length) != 0)
            return errno;
        if (err != 0)
            return err;
    }
    // A display's messages are small and go at once.
    const int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    *out = std::move(fd);
    return 0;
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
    // getaddrinfo cannot be bounded or stopped; it runs on a thread of its own that is
    // left to finish by itself when the bound passes or a stop comes first.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    int looked = ResolveBounded(host, service, hints, deadline, stop, &list);
    if (looked == kResolveStopped) {
        *failure = Failure(OpenError::Other, ECANCELED, "cancelled");
        return {};
    }
    if (looked == kResolveTimedOut) {
        *failure = Failure(OpenError::NoAnswer, ETIMEDOUT, "no address for " + host + " within 3 s");
        return {};
    }
    if (looked != 0) {
        const bool notFound = looked == EAI_NONAME || looked == EAI_NODATA || looked == EAI_FAIL || looked == EAI_AGAIN;
        *failure = Failure(notFound ? OpenError::HostNotFound : OpenError::Other, 0, ::gai_strerror(looked));
        return {};
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(list, &::freeaddrinfo);

    int err = EHOSTUNREACH;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        OwnedHandle fd;
        err = ConnectOne(*a, deadline, stop, &fd);
        if (err == 0) {
            auto* held = new Held{std::move(fd)};
            *failure = {};
            return Socket(held);
        }
        if (err == ECANCELED || err == ETIMEDOUT)
            break;
    }
    const OpenError kind = err == ECONNREFUSED ? OpenError::ConnectionRefused
                           : err == ETIMEDOUT  ? OpenError::NoAnswer
                                               : OpenError::Other;
    *failure = Failure(kind, err, err == ECANCELED ? "cancelled" : std::strerror(err));
    return {};
}

bool Socket::Valid() const noexcept
{
    return m_held && m_held->fd.valid();
}

std::uint32_t Socket::Send(const std::uint8_t* data, std::size_t count, std::chrono::milliseconds total,
                           std::chrono::milliseconds stall, std::stop_token stop)
{
    if (!Valid())
        return CSerialPort::kErrorNotOpen;
    const Clock::time_point end = Clock::now() + total;
    Clock::time_point stalledAt = Clock::now() + stall;
    std::size_t sent = 0;
    while (sent < count) {
        if (stop.stop_requested())
            return CSerialPort::CancelledError();
        const ssize_t n = ::send(m_held->fd.get(), data + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            stalledAt = Clock::now() + stall;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return static_cast<std::uint32_t>(m_held->lastError = errno);
        switch (WaitFor(m_held->fd.get(), POLLOUT, std::min(end, stalledAt), stop)) {
        case Waited::Ready: break;
        case Waited::TimedOut: return CSerialPort::TimeoutError();
        case Waited::Stopped: return CSerialPort::CancelledError();
        case Waited::Failed: return static_cast<std::uint32_t>(m_held->lastError = errno);
        }
    }
    return CSerialPort::kErrorSuccess;
}

ReceiveResult Socket::Receive(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    if (!Valid())
        return ReceiveResult::Failed;
    for (;;) {
        const ssize_t n = ::recv(m_held->fd.get(), buffer, size, 0);
        if (n > 0) {
            *count = static_cast<std::size_t>(n);
            return ReceiveResult::Data;
        }
        if (n == 0)
            return ReceiveResult::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return ReceiveResult::Nothing;
        m_held->lastError = errno;
        return errno == ECONNRESET || errno == EPIPE || errno == ETIMEDOUT ? ReceiveResult::Closed
                                                                           : ReceiveResult::Failed;
    }
}

bool Socket::WaitReadable(Clock::time_point deadline, std::stop_token stop)
{
    return Valid() && WaitFor(m_held->fd.get(), POLLIN, deadline, stop) == Waited::Ready;
}

NativeHandle Socket::EventHandle() const noexcept
{
    return Valid() ? m_held->fd.get() : kNoHandle;
}

int Socket::LastError() const noexcept
{
    return m_held ? m_held->lastError : 0;
}

std::string Socket::ErrorText(int error) const
{
    return std::strerror(error);
}

void Socket::Close() noexcept
{
    if (Valid())
        ::shutdown(m_held->fd.get(), SHUT_RDWR);
    m_held.reset();
}

ListeningSocket::ListeningSocket() noexcept = default;
ListeningSocket::~ListeningSocket() = default;
ListeningSocket::ListeningSocket(ListeningSocket&& other) noexcept = default;
ListeningSocket& ListeningSocket::operator=(ListeningSocket&& other) noexcept = default;

ListeningSocket ListeningSocket::Listen(const std::string& address, std::uint16_t port, std::string* error)
{
    const std::string host = address.empty() ? "127.0.0.1" : address;
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        *error = "not an IP address: " + host;
        return {};
    }
    OwnedHandle fd(::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        *error = std::string("cannot make a socket: ") + std::strerror(errno);
        return {};
    }
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (storage.ss_family == AF_INET6)
        ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    // A queue as long as the system allows: clients that come and go faster than the
    // event loop turns wait there, rather than have their connection dropped and retried
    // a second later.
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
        *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return {};
    }
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        *error = std::string("cannot tell the port listened on: ") + std::strerror(errno);
        return {};
    }
    const std::uint16_t taken = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
    ListeningSocket result;
    result.m_held.reset(new Held{std::move(fd), taken});
    return result;
}

bool ListeningSocket::Valid() const noexcept
{
    return m_held && m_held->fd.valid();
}

std::uint16_t ListeningSocket::Port() const noexcept
{
    return m_held ? m_held->port : 0;
}

Socket ListeningSocket::Accept()
{
    if (!Valid())
        return {};
    for (;;) {
        OwnedHandle fd(::accept4(m_held->fd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (fd.valid()) {
            const int on = 1;
            ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return Socket(new Socket::Held{std::move(fd)});
        }
        // A connection reset before it was taken is skipped; anything else waits for the
        // next wake-up.
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        return {};
    }
}

NativeHandle ListeningSocket::EventHandle() const noexcept
{
    return Valid() ? m_held->fd.get() : kNoHandle;
}

}  // namespace serial
