#include "app/shutdown_signals.h"

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "serial/native_handle.h"

namespace app {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> g_writeFd{-1};  // the one thing the handler reaches

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
    std::unique_ptr<QSocketNotifier> notifier;  // goes before the descriptor it watches
    std::array<struct sigaction, kSignals.size()> previous{};
};

ShutdownSignals::ShutdownSignals(QObject* parent)
    : QObject(parent)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;  // without the pipe the signals keep their default: the program ends at once
    auto platform = std::make_unique<Platform>();
    platform->read = serial::OwnedHandle(fds[0]);
    platform->write = serial::OwnedHandle(fds[1]);
    platform->notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    connect(platform->notifier.get(), &QSocketNotifier::activated, this, [this, fd = fds[0]] {
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

}  // namespace app
