#pragma once
// The line a virtual display listens on: a line of its own that programs open like a
// serial port (a pseudo-terminal on POSIX, a named pipe on Windows), a real serial port
// opened for reading as a sender opens it, or a line on the network. Errors come back as the OS's message; nothing
// is held after a failed Open. One file per platform implements it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/line_settings.h"
#include "serial/native_handle.h"

namespace serial {

struct NetworkPort;
class NetworkReader;

// What one Read found.
enum class ReadResult {
    Data,     // *count bytes were read
    Nothing,  // no byte is waiting
    HungUp,   // the line is gone (the other side of a pseudo-terminal closed, a device unplugged)
    Failed,   // any other error
};

class DisplayLine {
public:
    // The display's own line, which DevicePath() names. On POSIX a fresh pseudo-terminal:
    // the display reads the master; the slave, set raw at baudRate, is what other programs
    // open, and stays open here as well, so that a program closing it does not hang the
    // line up. On Windows a named pipe of a fresh name (win32::NewVirtualPipePath) that
    // only the user who runs the display may open, one client at a time: a second one is
    // refused as busy; when a client closes, the next one may connect at once.
    bool OpenOwnLine(std::uint32_t baudRate, std::string* error);

    // A serial port, named as the sender names it (ttyUSB0, COM7, a device path), opened
    // for reading with the sender's checks, lock and line settings (8 data bits, no
    // parity, one stop bit): any rate the sender can send at, the display can read at.
    // A network port's name (rfc2217://HOST:PORT, tcp://HOST:PORT) connects to the device
    // server as the sender does (ServedLine) and reads what its line receives; when the
    // server closes the connection, Read finds HungUp. DevicePath() is then the name in
    // its one form.
    bool OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error);

    // A line on the network: listens on where (an empty host: 127.0.0.1; port 0: a free
    // one) for one client at a time, over RFC 2217 or raw TCP (ListeningLine). A second
    // connection is closed at once; when the client leaves, Read finds Nothing and the
    // next one may connect. DevicePath() is then the name with the port taken.
    bool Listen(const NetworkPort& where, std::uint32_t baudRate, std::string* error);
    // Whether the line is one on the network.
    bool OnNetwork() const noexcept { return m_network != nullptr; }

    // What to wait on for input: the descriptor on POSIX; on Windows an event set when
    // Read has something to say (bytes, a client that came or went, a failure).
    // kNoHandle when nothing is open.
    NativeHandle WaitHandle() const noexcept;
    // The device other programs open: the pseudo-terminal's slave or the pipe, or the
    // device itself.
    const std::string& DevicePath() const noexcept { return m_devicePath; }
    // The rate the display reads at.
    std::uint32_t Baud() const noexcept { return m_baud; }

    ReadResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* count);
    // The OS's message for the last Read that failed.
    std::string ReadFailure() const;

    // A client of the pseudo-terminal that was killed while it held the port left it in
    // exclusive mode, which refuses every later open but root's. Clears that mode when no
    // client holds the port's lock any more; true when it did. (A pipe or a COM port is
    // free again once its holder ends, however it ends.)
    bool ReleaseAbandonedExclusive();

    // The settings a client set on the pseudo-terminal or asked for over RFC 2217; nullopt
    // on a device, whose settings are the display's own, on a pipe, which has none, and
    // over raw TCP, which does not tell them.
    std::optional<LineSettings> ClientSettings() const;
    // Whether a sender sets line settings that the display cannot see: its own line on
    // Windows, a pipe; raw TCP.
    bool HidesSenderSettings() const noexcept;

private:
    struct Held;  // what is open, one definition per platform
    struct HeldDeleter {
        void operator()(Held* held) const noexcept;
    };
    using HeldLine = std::unique_ptr<Held, HeldDeleter>;

    // Listens on a port OpenForReading opened; null, with *error set, when it cannot.
    static HeldLine ListenOnDevice(OwnedHandle port, const std::string& portName, std::string* error);
    struct NetworkDeleter {
        void operator()(NetworkReader* line) const noexcept;
    };
    using HeldReader = std::unique_ptr<NetworkReader, NetworkDeleter>;

    // Keeps what was opened: every step has succeeded.
    bool Take(HeldLine held, std::string devicePath, std::uint32_t baudRate);
    bool Take(HeldReader network, std::string devicePath, std::uint32_t baudRate);

    // The display's own line and a device, one definition per platform.
    NativeHandle HeldWaitHandle() const noexcept;
    ReadResult HeldRead(std::uint8_t* buffer, std::size_t size, std::size_t* count);
    std::string HeldReadFailure() const;
    std::optional<LineSettings> HeldClientSettings() const;
    bool HeldHidesSenderSettings() const noexcept;

    HeldLine m_held;
    HeldReader m_network;
    std::string m_devicePath;
    std::uint32_t m_baud = 0;
};

}  // namespace serial
