#include "serial/terminal_posix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "serial/read_port.h"

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;

// The rate a write's time-outs are reckoned at when the line does not tell its own.
constexpr std::uint32_t kSlowestRate = 50;
constexpr auto kDrainPollInterval = std::chrono::milliseconds(1);
// How long one wait for room may take before a stop request is looked at again.
constexpr int kStopCheckMs = 20;

struct BaudRate {
    std::uint32_t bitsPerSecond;
    speed_t constant;
};

// Every rate the terminal interface has a constant for; anything else is refused rather
// than silently run at some other speed.
constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},     {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedOf(std::uint32_t bitsPerSecond, speed_t* speed)
{
    const auto* it = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                  [&](const BaudRate& b) { return b.bitsPerSecond == bitsPerSecond; });
    if (it == std::end(kBaudRates))
        return false;
    *speed = it->constant;
    return true;
}

// What an open has changed on a line so far, undone when a later step fails: exclusive
// mode, and the settings the line had. Kept only once every step succeeded.
class LineChanges {
public:
    explicit LineChanges(int fd) noexcept : m_fd(fd) {}
    ~LineChanges()
    {
        if (m_fd < 0)
            return;
        if (m_found)
            ::tcsetattr(m_fd, TCSANOW, &*m_found);
        if (m_exclusive)
            ::ioctl(m_fd, TIOCNXCL);
    }
    LineChanges(const LineChanges&) = delete;
    LineChanges& operator=(const LineChanges&) = delete;

    void MadeExclusive() noexcept { m_exclusive = true; }
    // Takes the line's settings before anything changes them.
    bool SaveSettings()
    {
        termios found{};
        if (::tcgetattr(m_fd, &found) != 0)
            return false;
        m_found = found;
        return true;
    }
    // Every step succeeded: the line stays as set, and what it was goes to the caller.
    FoundSettings Keep() noexcept
    {
        m_fd = -1;
        return std::exchange(m_found, std::nullopt);
    }

private:
    int m_fd;
    bool m_exclusive = false;
    FoundSettings m_found;
};

// Discards output still waiting in this side's queue. A pseudo-terminal never queues
// here: it hands each byte straight to its other side, where a flush would destroy what
// the peer (a virtual display) has not read yet, bytes a real line would have put on the
// wire already.
bool PurgeUnsentOutput(int fd)
{
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
        return false;
    return queued == 0 || ::tcflush(fd, TCOFLUSH) == 0;
}

// Line settings and purge of an open, locked device.
bool Configure(int fd, speed_t speed, OpenFailure* failure)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        *failure = FailureOf(errno, OpenStep::Configure);
        return false;
    }
    // A raw channel: no echo, no line editing, no signals, no CR/LF translation in either
    // direction, so every byte of a message reaches the display as it was given.
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    // CLOCAL: the display has no modem lines, so no carrier is awaited and losing it
    // hangs nothing up. CREAD: a port that cannot receive confuses some drivers.
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) {
        *failure = FailureOf(errno, OpenStep::Baud);
        return false;
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        *failure = FailureOf(errno, OpenStep::Configure);
        return false;
    }
    // tcsetattr succeeds when any one of the changes took: read back what the driver kept.
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0) {
        *failure = FailureOf(errno, OpenStep::Configure);
        return false;
    }
    if (::cfgetospeed(&applied) != speed) {
        *failure = FailureOf(EINVAL, OpenStep::Baud);
        return false;
    }
    if ((applied.c_cflag & (CSIZE | PARENB | CSTOPB)) != CS8) {
        *failure = FailureOf(EINVAL, OpenStep::Configure);
        return false;
    }

    // Whatever an earlier user of the port left behind goes: output first, then input.
    if (!PurgeUnsentOutput(fd) || ::tcflush(fd, TCIFLUSH) != 0) {
        *failure = FailureOf(errno, OpenStep::Purge);
        return false;
    }
    return true;
}

// Whole milliseconds until the deadline, rounded up; 0 once it has passed.
int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

// TIOCOUTQ does not count the UART's own transmit FIFO; its line status register tells
// when the last bit has left. Drivers without one (USB adapters, pseudo-terminals) have
// nothing more to wait for.
bool TransmitterEmpty(int fd)
{
    unsigned int lineStatus = 0;
    if (::ioctl(fd, TIOCSERGETLSR, &lineStatus) != 0)
        return true;
    return (lineStatus & TIOCSER_TEMT) != 0;
}

class Terminal final : public Line {
public:
    Terminal(OwnedHandle port, FoundSettings found) noexcept : m_port(std::move(port)), m_found(found) {}
    ~Terminal() override { Close(); }

    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop) override;

    NativeHandle EventHandle() const noexcept override { return m_port.get(); }

    bool HungUp() override
    {
        pollfd pfd{m_port.get(), POLLIN, 0};
        if (::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return true;
        ::tcflush(m_port.get(), TCIFLUSH);
        return false;
    }

    bool Close() override
    {
        if (!m_port.valid())
            return false;
        // Exclusive mode belongs to the terminal, not to this descriptor: a pseudo-terminal
        // keeps it while its other side is open (a virtual display), and would then refuse
        // every later open, our own reconnection included.
        ::ioctl(m_port.get(), TIOCNXCL);
        // What a stalled or stopped write left queued goes: the driver would otherwise hold
        // close() until it drained, up to half a minute on a stalled line.
        PurgeUnsentOutput(m_port.get());
        // The settings go back as they were found: the next program on the line, or the
        // system itself, expects them.
        if (m_found)
            ::tcsetattr(m_port.get(), TCSANOW, &*m_found);
        return m_port.reset();
    }

private:
    OwnedHandle m_port;
    FoundSettings m_found;
};

std::uint32_t Terminal::Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop)
{
    const int fd = m_port.get();
    termios line{};
    std::uint32_t rate = ::tcgetattr(fd, &line) == 0 ? BaudOfSpeed(::cfgetospeed(&line)) : 0;
    if (rate == 0)
        rate = kSlowestRate;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + WriteTimeout(rate, count);
    const auto stallTimeout = StallTimeout(rate);
    // Progress is a byte taken by the driver, or fewer waiting in its queue than at the
    // last look: a long message on a slow line goes on for as long as bytes keep leaving.
    Clock::time_point lastProgress = start;
    int lastQueued = INT_MAX;
    const auto stalled = [&] {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued < lastQueued) {
            lastProgress = Clock::now();
            lastQueued = queued;
        }
        return MillisecondsLeft(deadline) == 0 || MillisecondsLeft(lastProgress + stallTimeout) == 0;
    };

    // Purge first, so a message never follows the remains of an earlier one.
    if (!PurgeUnsentOutput(fd) || ::tcflush(fd, TCIFLUSH) != 0)
        return static_cast<std::uint32_t>(errno);

    std::uint32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, data + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::uint32_t>(n);
            lastProgress = Clock::now();
            lastQueued = INT_MAX;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return static_cast<std::uint32_t>(errno);
        // The driver's buffer is full: wait for room, but not past the deadline, nor for
        // long once bytes stop leaving.
        if (stalled())
            return CSerialPort::TimeoutError();
        if (stop.stop_requested())
            return CSerialPort::CancelledError();
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, std::min(MillisecondsLeft(deadline), kStopCheckMs)) < 0 && errno != EINTR)
            return static_cast<std::uint32_t>(errno);
    }

    // Return only once the bytes have left: the next message's purge would otherwise cut
    // off the tail of this one. tcdrain cannot be used, it waits forever on a stalled line.
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
            return static_cast<std::uint32_t>(errno);
        if (queued == 0 && TransmitterEmpty(fd))
            return CSerialPort::kErrorSuccess;
        if (stalled())
            return CSerialPort::TimeoutError();
        if (stop.stop_requested())
            return CSerialPort::CancelledError();
        std::this_thread::sleep_for(kDrainPollInterval);
    }
}

}  // namespace

OwnedHandle OpenTerminal(const std::string& path, std::uint32_t baudRate, int access, const AcceptOpened& accept,
                         OpenFailure* failure, FoundSettings* found)
{
    speed_t speed = B0;
    if (!SpeedOf(baudRate, &speed)) {
        *failure = {OpenError::UnsupportedBaud, 0, {}};
        return {};
    }

    // Never become the controlling terminal of this process; never block in open waiting
    // for carrier detect on a modem line. The descriptor stays non-blocking, so that
    // Write can keep its deadline.
    OwnedHandle port(::open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port.valid()) {
        *failure = FailureOf(errno, OpenStep::Open);
        return {};
    }
    const int fd = port.get();
    // The name was checked before the open; what was opened must still pass, before the
    // line is touched.
    if (!accept(fd, failure))
        return {};

    // One program at a time on the line: two writers would interleave their messages.
    // Both locks are needed: flock is seen by
    // every careful serial program and also binds root, but is only advisory; TIOCEXCL makes
    // the kernel refuse any further open, but root ignores it and it cannot stop an open
    // that raced ahead of it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *failure = FailureOf(errno, OpenStep::Lock);
        return {};
    }
    LineChanges changes(fd);
    if (::ioctl(fd, TIOCEXCL) != 0) {
        *failure = FailureOf(errno, OpenStep::Lock);
        return {};
    }
    // Exclusive mode belongs to the terminal, and so do its settings: a failure from here
    // on puts both back (see Close).
    changes.MadeExclusive();
    if (!changes.SaveSettings()) {
        *failure = FailureOf(errno, OpenStep::Configure);
        return {};
    }
    if (!Configure(fd, speed, failure))
        return {};
    *failure = {};
    *found = changes.Keep();
    return port;
}

std::unique_ptr<Line> TerminalLine(OwnedHandle port, FoundSettings found)
{
    return std::make_unique<Terminal>(std::move(port), found);
}

bool ConfigureLine(int fd, std::uint32_t baudRate, OpenFailure* failure)
{
    speed_t speed = B0;
    if (!SpeedOf(baudRate, &speed)) {
        *failure = {OpenError::UnsupportedBaud, 0, {}};
        return false;
    }
    return Configure(fd, speed, failure);
}

std::uint32_t BaudOfSpeed(speed_t speed)
{
    for (const BaudRate& b : kBaudRates) {
        if (b.constant == speed)
            return b.bitsPerSecond;
    }
    return 0;
}

bool CloseForReading(OwnedHandle& port)
{
    // The settings a reader set stay: it keeps none to put back.
    return port.valid() && Terminal(std::move(port), std::nullopt).Close();
}

}  // namespace serial
