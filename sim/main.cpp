// display-sim: the virtual customer display. It listens on a pseudo-terminal of its own,
// published as sim0 in the virtual-port folder, or on a serial port, and shows what the
// bytes it receives would show on the device: in a window, or as lines of text.

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "serial/native_handle.h"
#include "sim/display_listener.h"
#include "sim/listen_port.h"
#include "sim/command_line.h"
#include "sim/port_link.h"
#include "serial/port_name.h"
#include "sim/signal_pipe.h"
#include "sim/sim_window.h"
#include "sim/state_line.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message)
{
    std::cerr << "display-sim: " << message << '\n';
    return kExitFailure;
}

bool HasDisplay()
{
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(var);
        if (v && *v) return true;
    }
    return false;
}

// Writes whatever is written to standard output, so that a reader that stops reading
// never holds the display: every wait for room also watches the signal pipe, and the
// writes never block. A pipe or a terminal gets a descriptor of its own that does not
// block (setting O_NONBLOCK on standard output itself would change it for whoever shares
// it, the shell included); a file never keeps a writer waiting.
class Output {
public:
    Output()
    {
        struct stat st {};
        if (::fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)))
            m_own = serial::OwnedHandle(::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    }

    // Writes the text whole. False when the output failed (*error set; EPIPE when nobody
    // reads any more) or when a signal came first (*error 0).
    bool Write(std::string_view text, int signalFd, int* error) const
    {
        const int fd = m_own.valid() ? m_own.get() : STDOUT_FILENO;
        *error = 0;
        while (!text.empty()) {
            pollfd fds[2] = {{fd, POLLOUT, 0}, {signalFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                *error = errno;
                return false;
            }
            if ((fds[1].revents & POLLIN) != 0) return false;
            if (fds[0].revents == 0) continue;
            // No more than a pipe takes whole once it has room, should the descriptor block.
            const ssize_t n = ::write(fd, text.data(), std::min<std::size_t>(text.size(), kChunk));
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                *error = errno;
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    static constexpr std::size_t kChunk = 512;
    serial::OwnedHandle m_own;
};

std::string OutputFailure(int error)
{
    return std::string("cannot write the output: ") + std::strerror(error);
}

// Help and version: fails with a line on standard error when the text did not arrive.
int PrintAndExit(const std::string& text)
{
    errno = 0;
    std::cout << text << std::flush;
    if (std::cout) return 0;
    return Fail(OutputFailure(errno != 0 ? errno : EIO));
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const sim::ParsedOptions parsed = sim::ParseCommandLine(arguments);
    if (!parsed.options) {
        std::cerr << "display-sim: " << parsed.error << "\nTry 'display-sim --help'.\n";
        return kExitUsage;
    }
    const sim::Options& options = *parsed.options;
    if (options.help) return PrintAndExit(sim::UsageText());
    if (options.version) return PrintAndExit("display-sim " DISPLAYSIM_VERSION "\n");
    if (!options.text && !HasDisplay()) {
        std::cerr << "display-sim: no display to open a window on; --text prints the display instead\n";
        return kExitUsage;
    }

    // The text mode needs no display: a core application has no window system.
    std::unique_ptr<QCoreApplication> app = options.text ? std::make_unique<QCoreApplication>(argc, argv)
                                                         : std::make_unique<QApplication>(argc, argv);
    // Before the link exists, so that Ctrl+C at any moment still removes it.
    sim::SignalPipe signalPipe;
    if (!signalPipe.Installed()) return Fail(signalPipe.Error());
    QObject::connect(&signalPipe, &sim::SignalPipe::signalled, app.get(), [&app] { app->quit(); });

    sim::ListenPort port;
    sim::PortLink link;
    std::string error;
    std::string portText;
    if (options.port.empty()) {
        if (!port.OpenPseudoTerminal(options.baud, &error)) return Fail(error);
        if (!link.Publish(serial::DefaultVirtualPortDir(), port.DevicePath(), &error)) return Fail(error);
        portText = link.Name() + " (" + port.DevicePath() + ")";
        if (options.baud != sim::kDefaultBaud) portText += ", " + std::to_string(options.baud) + " baud";
    } else {
        if (!port.OpenDevice(options.port, options.baud, &error)) return Fail(error);
        portText = options.port + " (" + port.DevicePath() + ", " + std::to_string(options.baud) + " baud)";
    }
    // Each line goes out whole as it comes: a script reads each line as it comes. When
    // nobody reads any more (display-sim --text | head -3) the display ends the ordinary
    // way; when the output fails otherwise, it says so once and ends with a failure.
    const Output output;
    int exitCode = 0;
    bool outputEnded = false;
    auto PrintLine = [&](const std::string& line) {
        int error = 0;
        if (outputEnded) return false;
        if (output.Write(line + "\n", signalPipe.Descriptor(), &error)) return true;
        outputEnded = true;
        if (options.text && error != 0 && error != EPIPE) {
            Fail(OutputFailure(error));
            exitCode = kExitFailure;
        }
        return false;
    };

    // Listening before the banner goes out: whatever a sender writes once it has read the
    // banner is read in order from the start.
    sim::DisplayListener listener(port);
    // A window has no need of its output: the banner is only for whoever reads it.
    if (!PrintLine("listening on " + portText) && options.text) return exitCode;
    std::unique_ptr<sim::SimWindow> window;
    std::string lastLine;
    if (options.text) {
        lastLine = sim::StateLine(listener.State());
        if (!PrintLine(lastLine)) return exitCode;
        // One line for every command that changed the state, however many came in one read.
        listener.SetReportEveryState(true);
        QObject::connect(&listener, &sim::DisplayListener::received, [&](const sim::ReceivedPiece& piece) {
            if (!piece.misread.isEmpty() && !PrintLine(piece.misread.toStdString())) app->exit(exitCode);
        });
        QObject::connect(&listener, &sim::DisplayListener::stateReached, [&](const sim::DisplayState& state) {
            const std::string line = sim::StateLine(state);
            if (line != lastLine && !PrintLine(lastLine = line)) app->exit(exitCode);
        });
        QObject::connect(&listener, &sim::DisplayListener::lineLost, [&](const QString& why) {
            Fail((options.port.empty() ? portText : serial::Quoted(options.port)) + ": " + why.toStdString());
            app->exit(kExitFailure);
        });
    } else {
        const sim::Language lang = options.lang == "zh"   ? sim::Language::Chinese
                                   : options.lang == "en" ? sim::Language::English
                                                          : sim::DesktopLanguage();
        window = std::make_unique<sim::SimWindow>(listener, QString::fromStdString(portText), lang);
        window->show();
    }
    return app->exec();  // the link goes with `link` on the way out
}
