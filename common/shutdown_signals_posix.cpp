#include "common/shutdown_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "common/handle_notifier.h"

namespace common {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> g_writeFd{-1};  // the one thing a signal handler may reach

void OnSignal(int signalNumber)
{
    // Only what is safe in a signal handler: one write to a pipe.
    const int saved = errno;
    const auto b = static_cast<unsigned char>(signalNumber);
    if (const int fd = g_writeFd.load(); fd >= 0)
        (void)!::write(fd, &b, 1);
    errno = saved;
}

}  // namespace

struct ShutdownSignals::Platform {
    serial::OwnedHandle read;
    serial::OwnedHandle write;
    std::unique_ptr<HandleNotifier> notifier;  // goes before the descriptor it watches
    std::array<struct sigaction, kSignals.size()> previous{};
};

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_error = std::string("cannot make the signal pipe: ") + std::strerror(errno);
        return;
    }
    auto platform = std::make_unique<Platform>();
    platform->read = serial::OwnedHandle(fds[0]);
    platform->write = serial::OwnedHandle(fds[1]);
    platform->notifier = std::make_unique<HandleNotifier>(fds[0], [this, fd = fds[0]] {
        unsigned char b = 0;
        while (::read(fd, &b, 1) == 1)
            emit Received(b);
    });
    g_writeFd = fds[1];

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &platform->previous[i]);
    m_platform = std::move(platform);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!m_platform)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &m_platform->previous[i], nullptr);
    g_writeFd = -1;
}

serial::NativeHandle ShutdownSignals::WaitHandle() const noexcept
{
    return m_platform ? m_platform->read.get() : serial::kNoHandle;
}

}  // namespace common
