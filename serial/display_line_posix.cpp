#include "serial/display_line.h"

#include "serial/read_port.h"
#include "serial/terminal_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace serial {

struct DisplayLine::Held {
    OwnedHandle read;
    OwnedHandle slave;       // a pseudo-terminal's slave, held so that it never hangs up
    bool exclusive = false;  // TIOCEXCL was set on read
    int readErrno = 0;

    ~Held()
    {
        // Exclusive mode belongs to the terminal, not to this descriptor: drop it, or a
        // line that another program keeps open would refuse every later open.
        if (exclusive)
            CloseForReading(read);
    }
};

namespace {

// The one place an OS error becomes the text the user reads.
bool Fail(std::string* error, const std::string& what, int err)
{
    if (error)
        *error = what + ": " + std::strerror(err);
    return false;
}

LineSettings SettingsOf(const termios& tio)
{
    LineSettings line;
    line.baud = BaudOfSpeed(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    if ((tio.c_cflag & PARENB) == 0)
        line.parity = 'N';
    else if ((tio.c_cflag & CMSPAR) != 0)
        line.parity = (tio.c_cflag & PARODD) != 0 ? 'M' : 'S';
    else
        line.parity = (tio.c_cflag & PARODD) != 0 ? 'O' : 'E';
    line.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return line;
}

}  // namespace

void DisplayLine::HeldDeleter::operator()(Held* held) const noexcept
{
    delete held;
}

bool DisplayLine::OpenOwnLine(std::uint32_t baudRate, std::string* error)
{
    HeldLine held(new Held);
    held->read = OwnedHandle(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!held->read.valid())
        return Fail(error, "posix_openpt", errno);
    const int master = held->read.get();
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return Fail(error, "pseudo-terminal", errno);
    char name[128] = {};
    if (const int err = ::ptsname_r(master, name, sizeof name); err != 0)
        return Fail(error, "ptsname", err);

    held->slave = OwnedHandle(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!held->slave.valid())
        return Fail(error, name, errno);
    // Set raw, at the display's own rate, so that a program that writes to the link
    // without configuring it (printf > sim0) reaches the display unchanged.
    OpenFailure failure;
    if (!ConfigureLine(held->slave.get(), baudRate, &failure)) {
        if (error)
            *error = std::string(name) + ": " + DescribeOpenFailure(failure, baudRate);
        return false;
    }

    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail(error, "pseudo-terminal", errno);

    return Take(std::move(held), name, baudRate);
}

DisplayLine::HeldLine DisplayLine::ListenOnDevice(OwnedHandle port, const std::string&, std::string*)
{
    HeldLine held(new Held);
    held->read = std::move(port);
    held->exclusive = true;
    return held;
}

NativeHandle DisplayLine::HeldWaitHandle() const noexcept
{
    return m_held ? m_held->read.get() : kNoHandle;
}

bool DisplayLine::ReleaseAbandonedExclusive()
{
    if (!m_held || !m_held->slave.valid())
        return false;
    const int slave = m_held->slave.get();
    int exclusive = 0;
    if (::ioctl(slave, TIOCGEXCL, &exclusive) != 0 || exclusive == 0)
        return false;
    // A client takes its lock before it sets exclusive mode and keeps it while it holds
    // the port; the kernel frees the lock however the client ends, exclusive mode only
    // when the terminal closes, which never happens while the display holds this side.
    // The lock is taken only for this look, so a client opening meanwhile is refused at
    // most for an instant.
    if (::flock(slave, LOCK_EX | LOCK_NB) != 0)
        return false;
    const bool cleared = ::ioctl(slave, TIOCNXCL) == 0;
    ::flock(slave, LOCK_UN);
    return cleared;
}

std::optional<LineSettings> DisplayLine::HeldClientSettings() const
{
    termios tio{};
    if (!m_held || !m_held->slave.valid() || ::tcgetattr(m_held->slave.get(), &tio) != 0)
        return std::nullopt;
    return SettingsOf(tio);
}

bool DisplayLine::HeldHidesSenderSettings() const noexcept
{
    return false;  // a pseudo-terminal shows its client's settings to either side
}

std::string DisplayLine::HeldReadFailure() const
{
    return std::strerror(m_held ? m_held->readErrno : 0);
}

ReadResult DisplayLine::HeldRead(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    if (!m_held)
        return ReadResult::Failed;
    const int fd = m_held->read.get();
    const ssize_t n = ::read(fd, buffer, size);
    if (n > 0) {
        *count = static_cast<std::size_t>(n);
        return ReadResult::Data;
    }
    if (n == 0) {
        // A serial line set up raw reads 0 bytes when nothing is waiting; only one that
        // also reports a hang-up (an adapter unplugged) has ended.
        pollfd pfd{fd, POLLIN, 0};
        const bool hungUp = ::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLHUP | POLLERR)) != 0;
        return hungUp ? ReadResult::HungUp : ReadResult::Nothing;
    }
    m_held->readErrno = errno;
    switch (errno) {
    case EAGAIN:
    case EINTR: return ReadResult::Nothing;
    case EIO: return ReadResult::HungUp;  // a pseudo-terminal whose other side is gone
    default: return ReadResult::Failed;
    }
}

}  // namespace serial
