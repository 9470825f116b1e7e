// display-sim: the virtual customer display. It listens on a pseudo-terminal of its own,
// published as sim0 in the virtual-port folder, or on a serial port, and shows what the
// bytes it receives would show on the device: in a window, or as lines of text.

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

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

// False once nobody reads the output any more (display-sim --text | head -3).
bool PrintLine(const std::string& line)
{
    std::cout << line << std::endl;  // flushed: a script reads each line as it comes
    return static_cast<bool>(std::cout);
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
    if (options.help) {
        std::cout << sim::UsageText();
        return 0;
    }
    if (options.version) {
        std::cout << "display-sim " DISPLAYSIM_VERSION "\n";
        return 0;
    }
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
    // Listening before the banner goes out: whatever a sender writes once it has read the
    // banner is read in order from the start.
    sim::DisplayListener listener(port);
    PrintLine("listening on " + portText);
    std::unique_ptr<sim::SimWindow> window;
    std::string lastLine;
    if (options.text) {
        lastLine = sim::StateLine(listener.State());
        PrintLine(lastLine);
        // One line for every command that changed the state, however many came in one read.
        listener.SetReportEveryState(true);
        QObject::connect(&listener, &sim::DisplayListener::received, [&](const sim::ReceivedPiece& piece) {
            if (!piece.misread.isEmpty() && !PrintLine(piece.misread.toStdString())) app->quit();
        });
        QObject::connect(&listener, &sim::DisplayListener::stateReached, [&](const sim::DisplayState& state) {
            const std::string line = sim::StateLine(state);
            if (line != lastLine && !PrintLine(lastLine = line)) app->quit();
        });
        QObject::connect(&listener, &sim::DisplayListener::lineLost, [&](const QString& why) {
            std::cerr << "display-sim: " << portText << ": " << why.toStdString() << '\n';
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
