#include "sim/signal_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace sim {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};  // the order of m_previous
std::atomic<int> g_writeFd{-1};  // the one thing a signal handler may reach

void OnSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(signalNumber);
    if (const int fd = g_writeFd.load(); fd >= 0) (void)!::write(fd, &b, 1);
    errno = saved;
}

}  // namespace

SignalPipe::SignalPipe(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_error = std::string("cannot make the signal pipe: ") + std::strerror(errno);
        return;
    }
    m_read = serial::OwnedHandle(fds[0]);
    m_write = serial::OwnedHandle(fds[1]);
    g_writeFd = m_write.get();

    m_notifier = std::make_unique<QSocketNotifier>(m_read.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char b = 0;
        while (::read(m_read.get(), &b, 1) == 1) emit signalled(b);
    });

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    // A reader that went away shows as a failed write, which ends the display the
    // ordinary way, rather than as a signal that would leave its link behind.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (std::size_t i = 0; i < m_previous.size(); ++i)
        ::sigaction(kSignals[i], kSignals[i] == SIGPIPE ? &ignore : &sa, &m_previous[i]);
}

SignalPipe::~SignalPipe()
{
    if (!Installed()) return;
    for (std::size_t i = 0; i < m_previous.size(); ++i) ::sigaction(kSignals[i], &m_previous[i], nullptr);
    g_writeFd = -1;
}

}  // namespace sim
