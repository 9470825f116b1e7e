#include "sim/listen_port.h"

#include "serial/listening_line.h"
#include "serial/port_name.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

// The one place an OS error becomes the text the user reads.
bool Fail(std::string* error, const std::string& what, int err)
{
    if (error) *error = what + ": " + std::strerror(err);
    return false;
}

LineSettings SettingsOf(const termios& tio)
{
    LineSettings line;
    line.baud = serial::BaudOfSpeed(::cfgetospeed(&tio));
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

bool ListenPort::OpenPseudoTerminal(std::uint32_t baudRate, std::string* error)
{
    serial::OwnedHandle master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid()) return Fail(error, "posix_openpt", errno);
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
        return Fail(error, "pseudo-terminal", errno);
    char name[128] = {};
    if (const int err = ::ptsname_r(master.get(), name, sizeof name); err != 0)
        return Fail(error, "ptsname", err);

    serial::OwnedHandle slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid()) return Fail(error, name, errno);
    // Set raw, at the display's own rate, so that a program that writes to the link
    // without configuring it (printf > sim0) reaches the display unchanged.
    serial::OpenFailure failure;
    if (!serial::ConfigureLine(slave.get(), baudRate, &failure)) {
        if (error) *error = std::string(name) + ": " + serial::DescribeOpenFailure(failure, baudRate);
        return false;
    }

    const int flags = ::fcntl(master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail(error, "pseudo-terminal", errno);

    m_read = std::move(master);
    m_slave = std::move(slave);
    m_devicePath = name;
    m_baud = baudRate;
    m_exclusive = false;
    return true;
}

bool ListenPort::OpenOwnLine(std::uint32_t baudRate, std::string* error)
{
    return OpenPseudoTerminal(baudRate, error);
}

bool ListenPort::OpenDevice(const std::string& portName, std::uint32_t baudRate, std::string* error)
{
    serial::OpenFailure failure;
    serial::OwnedHandle port = serial::OpenForReading(portName, baudRate, &failure);
    if (!port.valid()) {
        if (error) *error = serial::Quoted(portName) + ": " + serial::DescribeOpenFailure(failure, baudRate);
        return false;
    }
    m_slave.reset();
    m_read = std::move(port);
    m_devicePath = serial::PortDevicePath(portName);
    m_baud = baudRate;
    m_exclusive = true;
    return true;
}

bool ListenPort::ReleaseAbandonedExclusive()
{
    if (!m_slave.valid()) return false;
    int exclusive = 0;
    if (::ioctl(m_slave.get(), TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return false;
    // A client takes its lock before it sets exclusive mode and keeps it while it holds
    // the port; the kernel frees the lock however the client ends, exclusive mode only
    // when the terminal closes, which never happens while the display holds this side.
    // The lock is taken only for this look, so a client opening meanwhile is refused at
    // most for an instant.
    if (::flock(m_slave.get(), LOCK_EX | LOCK_NB) != 0) return false;
    const bool cleared = ::ioctl(m_slave.get(), TIOCNXCL) == 0;
    ::flock(m_slave.get(), LOCK_UN);
    return cleared;
}

std::optional<LineSettings> ListenPort::ClientSettings() const
{
    termios tio{};
    if (!m_slave.valid() || ::tcgetattr(m_slave.get(), &tio) != 0) return std::nullopt;
    return SettingsOf(tio);
}

bool ListenPort::HidesSenderSettings() const noexcept
{
    return false;  // a pseudo-terminal shows its client's settings to either side
}

std::string ListenPort::ReadFailure() const
{
    return std::strerror(m_readErrno);
}

ListenPort::~ListenPort()
{
    // Exclusive mode belongs to the terminal, not to this descriptor: drop it, or a line
    // that another program keeps open would refuse every later open.
    if (m_exclusive) serial::CloseLine(m_read);
}

ReadResult ListenPort::Read(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    if (!m_read.valid()) return ReadResult::Failed;
    const ssize_t n = ::read(m_read.get(), buffer, size);
    if (n > 0) {
        *count = static_cast<std::size_t>(n);
        return ReadResult::Data;
    }
    if (n == 0) {
        // A serial line set up raw reads 0 bytes when nothing is waiting; only one that
        // also reports a hang-up (an adapter unplugged) has ended.
        pollfd pfd{m_read.get(), POLLIN, 0};
        const bool hungUp = ::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLHUP | POLLERR)) != 0;
        return hungUp ? ReadResult::HungUp : ReadResult::Nothing;
    }
    m_readErrno = errno;
    switch (errno) {
    case EAGAIN:
    case EINTR: return ReadResult::Nothing;
    case EIO: return ReadResult::HungUp;  // a pseudo-terminal whose other side is gone
    default: return ReadResult::Failed;
    }
}

}  // namespace sim
