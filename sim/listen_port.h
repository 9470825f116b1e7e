#pragma once
// The line the virtual display listens on: a line of its own that programs open like a
// serial port (a pseudo-terminal on POSIX, a named pipe on Windows), or a real serial port
// opened for reading. Errors come back as the OS's message; nothing is held after a
// failed Open. One file per platform implements it.

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
    HungUp,    // the line is gone (the other side of a pseudo-terminal closed, a device unplugged)
    Failed,    // any other error
};

class ListenPort {
public:
    ListenPort() = default;
    ~ListenPort();
    ListenPort(const ListenPort&) = delete;
    ListenPort& operator=(const ListenPort&) = delete;

    // The display's own line, which DevicePath() names: OpenPseudoTerminal on POSIX,
    // OpenPipe on Windows.
    bool OpenOwnLine(std::uint32_t baudRate, std::string* error);

#ifndef _WIN32
    // A fresh pseudo-terminal: the display reads the master; the slave, set raw at the
    // display's baud rate, is what other programs open. The slave stays open here as well,
    // so that a program closing it does not hang the line up.
    bool OpenPseudoTerminal(std::uint32_t baudRate, std::string* error);
    bool OpenPseudoTerminal(std::string* error) { return OpenPseudoTerminal(protocol::kDefaultBaud, error); }
#else
    // A named pipe of a fresh name (serial::win32::NewVirtualPipePath) that only the user
    // who runs the display may open, one client at a time: a second one is refused as
    // busy. When a client closes, the next one may connect at once.
    bool OpenPipe(std::uint32_t baudRate, std::string* error);
#endif

    // A serial port, named as the sender names it (ttyUSB0, a virtual port, a device path),
    // opened for reading with the sender's checks, lock and line settings (8 data bits, no
    // parity, one stop bit): any rate the sender can send at, the display can read at.
    bool OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error);

#ifndef _WIN32
    // The descriptor to wait on for input; -1 when nothing is open.
    int ReadFd() const noexcept { return m_read.get(); }
    serial::NativeHandle WaitHandle() const noexcept { return ReadFd(); }
#else
    // The event to wait on: set when Read has something to say (bytes, a client that
    // came or went, a failure); null when nothing is open.
    serial::NativeHandle ReadEvent() const noexcept { return m_event.get(); }
    serial::NativeHandle WaitHandle() const noexcept { return ReadEvent(); }
#endif
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
    // client holds the port's lock any more; true when it did.
    bool ReleaseAbandonedExclusive();

    // The settings a client set on the pseudo-terminal; nullopt on a device, whose
    // settings are the display's own, and on a pipe, which has none.
    std::optional<LineSettings> ClientSettings() const;
    // Whether a sender sets line settings that the display cannot see: its own line on
    // Windows, a pipe.
    bool HidesSenderSettings() const noexcept;

private:
#ifndef _WIN32
    serial::OwnedHandle m_read;
    serial::OwnedHandle m_slave;  // a pseudo-terminal's slave, held so that it never hangs up
    std::string m_devicePath;
    std::uint32_t m_baud = protocol::kDefaultBaud;
    bool m_exclusive = false;  // TIOCEXCL was set on m_read
    int m_readErrno = 0;
#else
    enum class Pending { None, Connect, Read };
    // Holds the opened line and listens on it: waits for a client of the pipe, or reads
    // the COM port. On failure nothing is held, and m_readError says why.
    bool Listen(serial::OwnedHandle line, const std::string& path, std::uint32_t baudRate, bool pipe);
    bool StartConnect();
    bool StartRead();

    serial::OwnedHandle m_read;   // the pipe or the COM port, overlapped
    serial::OwnedHandle m_event;  // of m_overlapped; manual reset
    std::string m_devicePath;
    std::uint32_t m_baud = protocol::kDefaultBaud;
    bool m_pipe = false;
    Pending m_pending = Pending::None;
    // One overlapped operation at a time; OVERLAPPED as an opaque block, so that this
    // header needs no <windows.h>.
    alignas(8) unsigned char m_overlapped[32] = {};
    std::uint8_t m_buffer[4096] = {};
    std::size_t m_buffered = 0;  // bytes of the finished read not yet handed out
    std::size_t m_handedOut = 0;
    unsigned long m_readError = 0;
#endif
};

}  // namespace sim
