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

bool SpeedOf(std::uint32_t baud, speed_t* speed)
{
    switch (baud) {
    case 1200: *speed = B1200; return true;
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
    default: return false;
    }
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

bool ListenPort::OpenPseudoTerminal(std::string* error)
{
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid()) return Fail(error, "posix_openpt", errno);
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
        return Fail(error, "pseudo-terminal", errno);
    char name[128] = {};
    if (const int err = ::ptsname_r(master.get(), name, sizeof name); err != 0)
        return Fail(error, "ptsname", err);

    UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.valid()) return Fail(error, name, errno);
    // Set raw here, so that a program that writes to the link without configuring it
    // (printf > sim0) reaches the display unchanged.
    if (!MakeRaw(slave.get(), B2400, error, name)) return false;

    const int flags = ::fcntl(master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail(error, "pseudo-terminal", errno);

    m_read = std::move(master);
    m_slave = std::move(slave);
    m_devicePath = name;
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
    m_exclusive = true;
    return true;
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
