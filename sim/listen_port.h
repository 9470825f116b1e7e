#pragma once
// The line the virtual display listens on (POSIX): a pseudo-terminal of its own, whose
// other side programs open like a serial port, or a real serial port opened for reading.
// Errors come back as the OS's message; nothing is held after a failed Open.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/line_settings.h"
#include "serial/native_handle.h"

namespace sim {

// What one Read found.
enum class ReadResult {
    Data,      // *count bytes were read
    Nothing,   // no byte is waiting
    HungUp,    // the line is gone (the other side of a pseudo-terminal closed)
    Failed,    // any other error
};

class ListenPort {
public:
    ListenPort() = default;
    ~ListenPort();
    ListenPort(const ListenPort&) = delete;
    ListenPort& operator=(const ListenPort&) = delete;

    // A fresh pseudo-terminal: the display reads the master; the slave, set raw at the
    // display's baud rate, is what other programs open. The slave stays open here as well,
    // so that a program closing it does not hang the line up.
    bool OpenPseudoTerminal(std::uint32_t baudRate, std::string* error);
    bool OpenPseudoTerminal(std::string* error) { return OpenPseudoTerminal(protocol::kDefaultBaud, error); }

    // A serial port, named as the sender names it (ttyUSB0, a virtual port, a device path),
    // opened for reading with the sender's checks, lock and line settings (8 data bits, no
    // parity, one stop bit): any rate the sender can send at, the display can read at.
    bool OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error);

    // The descriptor to wait on for input; -1 when nothing is open.
    int ReadFd() const noexcept { return m_read.get(); }
    // The device other programs open: the pseudo-terminal's slave, or the device itself.
    const std::string& DevicePath() const noexcept { return m_devicePath; }

    // The rate the display reads at.
    std::uint32_t Baud() const noexcept { return m_baud; }

    ReadResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* count);

    // A client of the pseudo-terminal that was killed while it held the port left it in
    // exclusive mode, which refuses every later open but root's. Clears that mode when no
    // client holds the port's lock any more; true when it did.
    bool ReleaseAbandonedExclusive();

    // The settings a client set on the pseudo-terminal; nullopt on a device, whose
    // settings are the display's own.
    std::optional<LineSettings> ClientSettings() const;

private:
    serial::OwnedHandle m_read;
    serial::OwnedHandle m_slave;  // a pseudo-terminal's slave, held so that it never hangs up
    std::string m_devicePath;
    std::uint32_t m_baud = protocol::kDefaultBaud;
    bool m_exclusive = false;  // TIOCEXCL was set on m_read
};

}  // namespace sim
