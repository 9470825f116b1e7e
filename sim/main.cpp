// display-sim: the virtual customer display. It listens on a line of its own (a
// pseudo-terminal, on Windows a named pipe), published as sim0 in the virtual-port folder,
// on a serial port, or on the network, and shows what the bytes it receives would show on the device: in a
// window, or as lines of text. What differs per platform is in main_platform.h.

#include <QApplication>
#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "serial/display_line.h"
#include "serial/port_name.h"
#include "serial/virtual_port.h"
#include "sim/command_line.h"
#include "sim/display_listener.h"
#include "sim/main_platform.h"
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

std::string OutputFailure(const std::string& why)
{
    return "cannot write the output: " + why;
}

// Help and version: fails with a line on standard error when the text did not arrive.
int PrintAndExit(const std::string& text)
{
    errno = 0;
    std::cout << text << std::flush;
    if (std::cout)
        return 0;
    return Fail(OutputFailure(std::strerror(errno != 0 ? errno : EIO)));
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(QString::fromLocal8Bit(argv[i]).toStdString());
    const sim::ParsedOptions parsed = sim::ParseCommandLine(arguments);
    if (!parsed.options) {
        sim::UseParentConsole();
        std::cerr << command_line::UsageError("display-sim", parsed.error);
        return kExitUsage;
    }
    const sim::Options& options = *parsed.options;
    if (options.text || options.help || options.version)
        sim::UseParentConsole();
    if (options.help)
        return PrintAndExit(sim::UsageText());
    if (options.version)
        return PrintAndExit("display-sim " DISPLAYSIM_VERSION "\n");
    if (!options.text && !sim::HasDisplay()) {
        std::cerr << "display-sim: no display to open a window on; --text prints the display instead\n";
        return kExitUsage;
    }

    // The text mode needs no display: a core application has no window system.
    std::unique_ptr<QCoreApplication> app =
        options.text ? std::make_unique<QCoreApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);
    // Before the link exists, so that Ctrl+C at any moment still removes it: the event loop
    // ends the ordinary way, and the link goes with it.
    const common::ShutdownSignals shutdown;
    QObject::connect(&shutdown, &common::ShutdownSignals::Received, app.get(), &QCoreApplication::quit);
    sim::IgnoreBrokenPipe();
    // A window started from a menu has nobody reading standard error.
    auto FailToStart = [&options](const std::string& message) {
        if (!options.text)
            sim::ShowStartFailure("display-sim: " + message);
        return Fail(message);
    };
    if (!shutdown.Installed())
        return FailToStart(shutdown.Error());

    serial::DisplayLine port;
    serial::VirtualPortPublication link;
    std::string error;
    std::string portText;
    if (options.listen) {
        if (!port.Listen(*options.listen, options.baud, &error))
            return FailToStart(error);
        portText = port.DevicePath();
    } else if (options.port.empty()) {
        if (!port.OpenOwnLine(options.baud, &error))
            return FailToStart(error);
        if (!link.Publish(serial::DefaultVirtualPortDir(), port.DevicePath(), &error))
            return FailToStart(error);
        portText = link.Name() + " (" + port.DevicePath() + ")";
        if (options.baud != sim::kDefaultBaud)
            portText += ", " + std::to_string(options.baud) + " baud";
    } else {
        if (!port.OpenDevice(options.port, options.baud, &error))
            return FailToStart(error);
        const std::string rate = std::to_string(options.baud) + " baud";
        portText = port.OnNetwork() ? port.DevicePath() + " (" + rate + ")"
                                    : options.port + " (" + port.DevicePath() + ", " + rate + ")";
    }
    // Said before anything else, where a user who started it reads it.
    const bool openToOthers = options.listen && !sim::OnlyThisMachine(options.listen->host);
    if (openToOthers)
        std::cerr << "display-sim: warning: " << sim::OpenToOthersNote(options.listen->host) << '\n';
    if (options.text && port.HidesSenderSettings())
        std::cerr << "display-sim: " << sim::HiddenLineNote(port.Baud()) << '\n';
    // Each line goes out whole as it comes: a script reads each line as it comes. When
    // nobody reads any more (display-sim --text | head -3) the display ends the ordinary
    // way; when the output fails otherwise, it says so once and ends with a failure.
    const sim::Output output(shutdown);
    int exitCode = 0;
    bool outputEnded = false;
    auto PrintLine = [&](const std::string& line) {
        std::string failure;
        if (outputEnded)
            return false;
        if (output.Write(line + "\n", &failure))
            return true;
        outputEnded = true;
        if (options.text && !failure.empty()) {
            Fail(OutputFailure(failure));
            exitCode = kExitFailure;
        }
        return false;
    };

    // Listening before the banner goes out: whatever a sender writes once it has read the
    // banner is read in order from the start.
    sim::DisplayListener listener(port);
    // A window has no need of its output: the banner is only for whoever reads it.
    if (!PrintLine("listening on " + portText) && options.text)
        return exitCode;
    std::unique_ptr<sim::SimWindow> window;
    std::string lastLine;
    if (options.text) {
        lastLine = sim::StateLine(listener.State());
        if (!PrintLine(lastLine))
            return exitCode;
        // One line for every command that changed the state, however many came in one read.
        listener.SetReportEveryState(true);
        QObject::connect(&listener, &sim::DisplayListener::received, [&](const sim::ReceivedPiece& piece) {
            if (!piece.misread.isEmpty() && !PrintLine(piece.misread.toStdString()))
                app->exit(exitCode);
        });
        QObject::connect(&listener, &sim::DisplayListener::stateReached, [&](const sim::DisplayState& state) {
            const std::string line = sim::StateLine(state);
            if (line != lastLine && !PrintLine(lastLine = line))
                app->exit(exitCode);
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
        if (openToOthers)
            window->WarnOpenToOthers(QString::fromStdString(options.listen->host));
        window->show();
    }
    return app->exec();  // the link goes with `link` on the way out
}
