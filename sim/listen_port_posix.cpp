#include "sim/listen_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

// The one place an OS error becomes the text the user reads.
bool Fail(std::string* error, const std::string& what, int err)
{
    if (error) *error = what + ": " + std::strerror(err);
    return false;
}

struct Rate {
    std::uint32_t baud;
    speed_t speed;
};
constexpr Rate kRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},         {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},   {921600, B921600},
};

bool SpeedOf(std::uint32_t baud, speed_t* speed)
{
    for (const Rate& r : kRates) {
        if (r.baud == baud) {
            *speed = r.speed;
            return true;
        }
    }
    return false;
}

std::uint32_t BaudOf(speed_t speed)
{
    for (const Rate& r : kRates)
        if (r.speed == speed) return r.baud;
    return 0;
}

LineSettings SettingsOf(const termios& tio)
{
    LineSettings line;
    line.baud = BaudOf(::cfgetospeed(&tio));
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

// Turn off every termios nicety: the display must see each byte as it was sent, CR and
// 00 included, and nothing may echo back to the sender.
bool MakeRaw(int fd, speed_t speed, std::string* error, const std::string& path)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return Fail(error, path, errno);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return Fail(error, path, errno);
    return true;
}

}  // namespace

bool ListenPort::OpenPseudoTerminal(std::uint32_t baudRate, std::string* error)
{
    speed_t speed{};
    if (!SpeedOf(baudRate, &speed)) {
        if (error) *error = "unsupported baud rate " + std::to_string(baudRate);
        return false;
    }
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid()) return Fail(error, "posix_openpt", errno);
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
        return Fail(error, "pseudo-terminal", errno);
    char name[128] = {};
    if (const int err = ::ptsname_r(master.get(), name, sizeof name); err != 0)
        return Fail(error, "ptsname", err);

    UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid()) return Fail(error, name, errno);
    // Set raw, at the display's own rate, so that a program that writes to the link
    // without configuring it (printf > sim0) reaches the display unchanged.
    if (!MakeRaw(slave.get(), speed, error, name)) return false;

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

bool ListenPort::OpenDevice(const std::string& devicePath, std::uint32_t baudRate, std::string* error)
{
    speed_t speed{};
    if (!SpeedOf(baudRate, &speed)) {
        if (error) *error = "unsupported baud rate " + std::to_string(baudRate);
        return false;
    }
    // Never become the controlling terminal; never wait for carrier detect.
    UniqueFd port(::open(devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port.valid()) return Fail(error, devicePath, errno);
    if (!::isatty(port.get())) {
        if (error) *error = devicePath + ": not a terminal device";
        return false;
    }
    // One program at a time on the line, as the panel holds its port: flock binds every
    // careful program and root too, TIOCEXCL makes the kernel refuse later opens.
    if (::flock(port.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            if (error) *error = devicePath + ": in use by another program";
            return false;
        }
        return Fail(error, devicePath, err);
    }
    if (::ioctl(port.get(), TIOCEXCL) != 0) return Fail(error, devicePath, errno);
    if (!MakeRaw(port.get(), speed, error, devicePath)) {
        ::ioctl(port.get(), TIOCNXCL);
        return false;
    }
    // What waited on the line before the display was switched on is not shown.
    ::tcflush(port.get(), TCIFLUSH);

    m_slave.reset();
    m_read = std::move(port);
    m_devicePath = devicePath;
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

ListenPort::~ListenPort()
{
    // Exclusive mode belongs to the terminal, not to this descriptor: drop it, or a line
    // that another program keeps open would refuse every later open.
    if (m_exclusive && m_read.valid()) ::ioctl(m_read.get(), TIOCNXCL);
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
    if (n == 0) return ReadResult::HungUp;
    switch (errno) {
    case EAGAIN:
    case EINTR: return ReadResult::Nothing;
    case EIO: return ReadResult::HungUp;  // a pseudo-terminal whose other side is gone
    default: return ReadResult::Failed;
    }
}

}  // namespace sim
