#pragma once
// A pseudo-terminal pair standing in for a serial line: the program under test opens the
// slave by its path, the test reads what arrived on the master. The test holds the slave
// too, so the line and its settings outlive every open and close of the program.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/native_handle.h"

namespace testing_support {

// Bytes: what ReadAll returns, anything with append(const char*, n) (std::string, QByteArray).
template <class Bytes = std::string>
class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        m_master = serial::OwnedHandle(master);
        m_slave = serial::OwnedHandle(slave);
        m_path = name;
        // Children must not inherit either end: a child holding the slave keeps the line up.
        ::fcntl(m_master.get(), F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave.get(), F_SETFD, FD_CLOEXEC);
        ::fcntl(m_master.get(), F_SETFL, ::fcntl(m_master.get(), F_GETFL) | O_NONBLOCK);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master.valid() && m_slave.valid() && !m_path.empty(); }
    int master() const { return m_master.get(); }
    int slave() const { return m_slave.get(); }
    // The path the program opens, /dev/pts/N.
    const std::string& path() const { return m_path; }

    // The peer goes away: later writes on the slave fail with EIO.
    void CloseMaster() { m_master.reset(); }

    // What arrives: waits up to firstMs for a first byte, then takes more for as long as
    // it keeps coming within quietMs.
    Bytes ReadAll(int firstMs = 1000, int quietMs = 20) const
    {
        Bytes bytes;
        bool any = false;
        pollfd p{m_master.get(), POLLIN, 0};
        while (::poll(&p, 1, any ? quietMs : firstMs) > 0 && (p.revents & POLLIN)) {
            char buffer[512];
            const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, n);
            any = true;
        }
        return bytes;
    }

    // Appends what the master can read now to *out; false once the master fails.
    bool ReadAvailable(std::vector<std::uint8_t>* out) const
    {
        std::uint8_t buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_master.get(), buffer, sizeof buffer);
            if (n > 0) {
                out->insert(out->end(), buffer, buffer + n);
                continue;
            }
            return n < 0 && (errno == EAGAIN || errno == EINTR);
        }
    }

    // Reads until `count` bytes arrived or the deadline passed, then whatever follows
    // at once, so that bytes beyond the expected ones show up too.
    std::vector<std::uint8_t> ReadAtLeast(std::size_t count,
                                          std::chrono::milliseconds deadline = std::chrono::seconds(10)) const
    {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{m_master.get(), POLLIN, 0};
            ::poll(&p, 1, 50);
            if (!ReadAvailable(&got))
                break;
        }
        pollfd p{m_master.get(), POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
            ReadAvailable(&got);
        return got;
    }

    // Output on the line stops, as when the display holds it with flow control; nothing
    // written gets through until Resume.
    bool Stall() const { return ::tcflow(m_slave.get(), TCOOFF) == 0; }
    bool Resume() const { return ::tcflow(m_slave.get(), TCOON) == 0; }

    // The line settings of the slave, as the program set them.
    bool LineSettings(termios* tio) const { return ::tcgetattr(m_slave.get(), tio) == 0; }

private:
    serial::OwnedHandle m_slave;
    serial::OwnedHandle m_master;  // goes first, as a peer that hangs up
    std::string m_path;
};

}  // namespace testing_support
