#pragma once
// A pseudo-terminal pair standing in for a serial line: the sender writes to the slave
// by its path, the test reads what arrived on the master.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_pty {

class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        m_path = name;
        // Children must not inherit either end.
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        if (m_slave >= 0)
            close(m_slave);
        if (m_master >= 0)
            close(m_master);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0 && !m_path.empty(); }
    int master() const { return m_master; }
    // The test keeps the slave open, so the line and its settings outlive the sender.
    int slave() const { return m_slave; }
    const std::string& path() const { return m_path; }

    // Appends what the master can read now to *out; false once the master fails.
    bool ReadAvailable(std::vector<std::uint8_t>* out) const
    {
        std::uint8_t buffer[4096];
        for (;;) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
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
                                          std::chrono::milliseconds deadline =
                                              std::chrono::seconds(10)) const
    {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{m_master, POLLIN, 0};
            poll(&p, 1, 50);
            if (!ReadAvailable(&got))
                break;
        }
        pollfd p{m_master, POLLIN, 0};
        if (poll(&p, 1, 20) > 0)
            ReadAvailable(&got);
        return got;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

}  // namespace testing_pty
