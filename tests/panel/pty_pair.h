#pragma once
// A pseudo-terminal pair standing in for a serial line: the panel opens the slave by its
// path, the test reads what arrives on the master.

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <string>

class PtyPair {
public:
    PtyPair()
    {
        char name[128] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0)
            m_slavePath = name;
    }
    ~PtyPair()
    {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0 && m_slave >= 0; }
    // The path the panel opens, /dev/pts/N.
    const std::string& SlavePath() const { return m_slavePath; }

    // The peer goes away: later writes on the slave fail.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // What arrives: waits up to firstMs for a first byte, then takes more for as long as
    // it keeps coming within quietMs.
    QByteArray ReadAll(int firstMs = 1000, int quietMs = 20) const
    {
        QByteArray bytes;
        pollfd p{m_master, POLLIN, 0};
        while (::poll(&p, 1, bytes.isEmpty() ? firstMs : quietMs) > 0 && (p.revents & POLLIN)) {
            char buffer[512];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<qsizetype>(n));
        }
        return bytes;
    }

    // Output on the line stops, as when the display holds it with flow control; nothing
    // the panel writes gets through until Resume.
    bool Stall() const { return ::tcflow(m_slave, TCOOFF) == 0; }
    bool Resume() const { return ::tcflow(m_slave, TCOON) == 0; }

    // The line settings of the slave, as the panel set them.
    bool LineSettings(termios* tio) const { return ::tcgetattr(m_slave, tio) == 0; }

private:
    int m_master = -1;
    int m_slave = -1;  // held, so the line stays up while the panel closes and reopens it
    std::string m_slavePath;
};
