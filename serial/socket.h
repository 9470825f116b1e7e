#pragma once
// A TCP connection and a listening TCP socket, the network's lines under the RFC 2217 and
// raw TCP ports: non-blocking, each owned by one object, with a handle to wait on. One
// definition per platform (socket_posix.cpp, socket_win32.cpp). Failures are return
// values: an OS error code, or an OpenFailure in the terms of a port that would not open.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial {

// What one Receive found.
enum class ReceiveResult {
    Data,     // *count (> 0) bytes were read
    Nothing,  // no byte is waiting
    Closed,   // the peer closed or reset the connection
    Failed,   // any other error; see Socket::LastError
};

class Socket {
public:
    using Clock = std::chrono::steady_clock;

    Socket() noexcept;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;

    // Resolves host (a name, an IPv4 or an IPv6 address) and connects to port, trying each
    // address the name has, until deadline; a stop request ends it at once. An invalid
    // socket, with *failure set, when it did not connect: HostNotFound, ConnectionRefused,
    // NoAnswer (deadline passed), Cancelled as Other with the words "cancelled", else Other.
    static Socket Connect(const std::string& host, std::uint16_t port, Clock::time_point deadline, std::stop_token stop,
                          OpenFailure* failure);

    bool Valid() const noexcept;

    // Sends every byte, waiting while the peer takes none: 0 once all are handed to the
    // OS; CSerialPort::TimeoutError() when the whole send passed total or no byte went for
    // stall; CSerialPort::CancelledError() once stop was requested; else the OS error
    // (a reset connection among them, which CSerialPort::IsDeviceGone tells).
    std::uint32_t Send(const std::uint8_t* data, std::size_t count, std::chrono::milliseconds total,
                       std::chrono::milliseconds stall, std::stop_token stop);

    // Reads what is waiting, never blocking.
    ReceiveResult Receive(std::uint8_t* buffer, std::size_t size, std::size_t* count);

    // Waits until bytes (or the peer's close) can be received, or until deadline or stop.
    // True when something can be received.
    bool WaitReadable(Clock::time_point deadline, std::stop_token stop);

    // What to wait on for input and the peer's close: the descriptor on POSIX, an event
    // on Windows. kNoHandle when invalid.
    NativeHandle EventHandle() const noexcept;

    // The OS error of the last call that failed, and its words.
    int LastError() const noexcept;
    std::string ErrorText(int error) const;

    // Shuts the connection down and closes it; the object is invalid afterwards.
    void Close() noexcept;

    // Closes without a reset: tells the peer that nothing more comes, reads and discards
    // what it still sends until it closes its side or deadline passes, then closes. A
    // close with unread bytes waiting resets the connection, and the peer loses what it
    // had not read yet, such as the tail of the last message. Invalid afterwards.
    void Finish(Clock::time_point deadline) noexcept;

    struct Held;  // the OS's socket and what waits on it; one definition per platform

private:
    friend class ListeningSocket;
    struct HeldDeleter {
        void operator()(Held* held) const noexcept;
    };
    explicit Socket(Held* held) noexcept;
    std::unique_ptr<Held, HeldDeleter> m_held;
};

class ListeningSocket {
public:
    ListeningSocket() noexcept;
    ~ListeningSocket();
    ListeningSocket(ListeningSocket&& other) noexcept;
    ListeningSocket& operator=(ListeningSocket&& other) noexcept;

    // Listens on address (an IPv4 or IPv6 address; empty: 127.0.0.1) and port (0: a free
    // one). An invalid socket, with *error set to one line, when it cannot.
    static ListeningSocket Listen(const std::string& address, std::uint16_t port, std::string* error);

    bool Valid() const noexcept;
    // The port it listens on, the one taken when 0 was asked.
    std::uint16_t Port() const noexcept;

    // The next connection waiting, never blocking; an invalid socket when none waits.
    Socket Accept();

    // What to wait on for a connection: the descriptor on POSIX, an event on Windows.
    NativeHandle EventHandle() const noexcept;

    struct Held;

private:
    struct HeldDeleter {
        void operator()(Held* held) const noexcept;
    };
    std::unique_ptr<Held, HeldDeleter> m_held;
};

}  // namespace serial
