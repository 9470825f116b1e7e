#include "sim/main_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/native_handle.h"

namespace sim {

std::string_view OwnLineUsage()
{
    return R"(By default it opens a pseudo-terminal and publishes it in the virtual-port folder as sim0
(sim1, sim2... while those are taken), where the test panel and display-send list it first;
the link goes when the display ends. The first line printed names it:
  listening on sim0 (/dev/pts/5)
)";
}

bool HasDisplay()
{
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return true;
    }
    return false;
}

void UseParentConsole()
{
}

void ShowStartFailure(const std::string&)
{
}

void IgnoreBrokenPipe()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

// Every wait for room also watches the signal pipe, and the writes never block. A pipe or
// a terminal gets a descriptor of its own that does not block (setting O_NONBLOCK on
// standard output itself would change it for whoever shares it, the shell included); a
// file never keeps a writer waiting.
struct Output::Impl {
    static constexpr std::size_t kChunk = 512;
    serial::OwnedHandle own;
    int signalFd = -1;
};

Output::Output(const common::ShutdownSignals& shutdown) : m_impl(std::make_unique<Impl>())
{
    m_impl->signalFd = shutdown.WaitHandle();
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)))
        m_impl->own = serial::OwnedHandle(::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

Output::~Output() = default;

bool Output::Write(std::string_view text, std::string* failure) const
{
    const int fd = m_impl->own.valid() ? m_impl->own.get() : STDOUT_FILENO;
    failure->clear();
    auto failed = [failure](int error) {
        // Nobody reads any more (display-sim --text | head -3): no failure of the display.
        if (error != EPIPE)
            *failure = std::strerror(error);
        return false;
    };
    while (!text.empty()) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {m_impl->signalFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return failed(errno);
        }
        if ((fds[1].revents & POLLIN) != 0)
            return false;
        if (fds[0].revents == 0)
            continue;
        // No more than a pipe takes whole once it has room, should the descriptor block.
        const ssize_t n = ::write(fd, text.data(), std::min<std::size_t>(text.size(), Impl::kChunk));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return failed(errno);
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace sim
