#pragma once
// The serial line to the customer display: open with fixed line settings (the caller's
// baud rate, 8 data bits, no parity, one stop bit), write whole messages, close.
// It never reads. Each kind of line behind it is a type of its own (serial/line.h).

#include <chrono>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "native_handle.h"

namespace serial {

// Why the last Open failed, in terms the panel and the sender explain to a user.
enum class OpenError {
    None,               // the last Open succeeded, or none was tried
    AlreadyOpen,        // a port is held already; it is left untouched
    BadName,            // the name names no port this platform can open
    NoSuchPort,         // the device does not exist
    PermissionDenied,   // the user may not open it (POSIX: not in the dialout group)
    InUse,              // another program holds it
    UnsupportedBaud,    // the driver refused the baud rate
    KernelConsole,      // the kernel's active console, refused unless the caller insists
    HostNotFound,       // a network port's host has no address
    ConnectionRefused,  // nothing listens at a network port's host and port
    NoAnswer,           // a network port's host did not answer within the bound (3 s)
    NotDeviceServer,    // the host answered, but not as an RFC 2217 device server
    Other,              // any other OS failure; see osError
};

struct OpenFailure {
    OpenError kind = OpenError::None;
    int osError = 0;        // errno or GetLastError of the failing step; 0 when none
    std::string osMessage;  // the OS's own text for osError, or why the name was refused
};

// A short English reason: "permission denied", "in use by another program", ...
std::string_view DescribeOpenError(OpenError kind);

// The whole reason in words: "unsupported baud rate 300", "no such port (No such file or
// directory)". The OS's text follows in brackets when it says more than the reason.
std::string DescribeOpenFailure(const OpenFailure& failure, std::uint32_t baudRate);

// What the result of a write means, for the panel and the sender alike.
enum class WriteError {
    None,            // every byte went out
    NothingToWrite,  // an empty write
    NotOpen,         // no port is held
    NoMemory,        // the message could not be staged; nothing was written
    TimedOut,        // the line stalled past the write time-out
    Cancelled,       // a stop request ended the write
    DeviceGone,      // the device itself went away
    Other,           // any other OS error
};

// The reason of a result of CSerialPort::Write, or of protocol::StageAndWrite around it.
// Write's own codes are told first: on POSIX 87 and 8 are errno values too (EUSERS,
// ENOEXEC), which a write never returns.
WriteError WriteErrorOf(std::uint32_t result);

// A write's result in words: "no port is open", "the line did not take the bytes in time",
// the OS's own text for any other error.
std::string DescribeWriteResult(std::uint32_t result);

// How long a write of count bytes at baudRate may take in all: 10 bits a byte on the wire
// (start, 8 data, stop), twice that for a slow driver, plus a second.
std::chrono::milliseconds WriteTimeout(std::uint32_t baudRate, std::uint32_t count);

// How long a write may go on without a byte leaving before it gives up, whatever its
// length: a few seconds, and more on a line so slow that the UART's own buffer of 16 bytes
// takes that long.
std::chrono::milliseconds StallTimeout(std::uint32_t baudRate);

// What Open refuses unless told otherwise, and where it looks.
struct OpenOptions {
    // Open the kernel's active console too: the user insists (display-send --force).
    bool allowConsole = false;
    // POSIX: the sysfs tty class, whose <name>/dev gives a line's device number, and the
    // list of the kernel's active consoles (empty: <sysClassTty>/console/active). Tests
    // point both at a fake tree.
    std::string sysClassTty = "/sys/class/tty";
    std::string consoleList;
    // Ends a network port's name resolution, connection and handshake at once: the
    // program is closing, or the user chose another port.
    std::stop_token stop;
};

class Line;

// A baud rate as typed: decimal digits only, at least 1, at most 2^32 - 1. False for
// anything else (" 9600", "+9600", "9600x", "0"), which is refused rather than guessed at.
bool ParseBaudRate(std::string_view text, std::uint32_t* baud);

class CSerialPort {
public:
    // Write's own results besides the OS error codes.
    static constexpr std::uint32_t kErrorSuccess = 0;
    static constexpr std::uint32_t kErrorInvalidParameter = 87;  // empty write
    static constexpr std::uint32_t kErrorNotOpen = 7005;         // no port open
    // What a stager returns when it has no memory for the message (ERROR_NOT_ENOUGH_MEMORY).
    static constexpr std::uint32_t kErrorNotEnoughMemory = 8;
    // What Write returns when the line stalled and the write time-out ended it before
    // every byte went out (ETIMEDOUT on POSIX, ERROR_TIMEOUT on Windows).
    static std::uint32_t TimeoutError() noexcept;
    // What Write returns when its stop token ended it (ECANCELED, ERROR_OPERATION_ABORTED).
    static std::uint32_t CancelledError() noexcept;
    // Whether a write result says the device itself went away (an adapter unplugged, the
    // far end of a pseudo-terminal closed), rather than that one write failed.
    static bool IsDeviceGone(std::uint32_t writeResult) noexcept;

    CSerialPort();
    virtual ~CSerialPort();  // Close()
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens the port named by its list entry ("COM3", "ttyUSB0", a virtual port such as
    // "sim0", or an absolute device path on POSIX) and configures it, keeping the settings
    // it found. On Windows a virtual port is its display's pipe: opened for writing, with
    // no line to set up or put back. False when a port is held already or any step fails; a failed Open holds
    // nothing and leaves the line as it was.
    bool Open(std::string_view portName, std::uint32_t baudRate, const OpenOptions& options = {});

    // Puts the line's settings back as Open found them and closes the held port. False
    // when none is held or the OS refused.
    bool Close();

    // Purges both directions, then writes every byte and waits until they left, within
    // WriteTimeout, and gives up once no byte has left for StallTimeout. Returns 0,
    // kErrorInvalidParameter for count 0, kErrorNotOpen with no port, TimeoutError() when
    // the line stalled, else the OS error.
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count);
    // The same, ended early with CancelledError() once another thread requests a stop:
    // a program that is closing need not wait out a stalled line.
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop);

    // Whether a port is held.
    bool IsOpen() const noexcept { return m_line != nullptr; }

    // A handle that tells when the open line has news: on POSIX a descriptor that becomes
    // readable when input arrived or the device hung up (the far end of a pseudo-terminal
    // closed, an adapter went away); on Windows an event set when the virtual display whose
    // pipe is open ends (COM ports have none). kNoHandle where there is none.
    NativeHandle LineEventHandle() const noexcept;
    // After such news: discards the input (the display never answers) and tells whether
    // the device hung up (the display ended).
    bool LineHungUp();

    // Why the last Open failed; kind None after a successful Open.
    const OpenFailure& LastOpenFailure() const noexcept { return m_lastFailure; }

private:
    std::unique_ptr<Line> m_line;
    OpenFailure m_lastFailure;
};

}  // namespace serial
