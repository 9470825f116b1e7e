#include <QApplication>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/display_test_app.h"
#include "common/command_line.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"

namespace {

// --help and --version: a text that did not arrive (a full disk) is a failure, said on
// standard error.
int Print(const std::string& text)
{
    errno = 0;
    std::cout << text << std::flush;
    if (std::cout)
        return 0;
    const int error = errno;
    std::cerr << "display-test: cannot write the output: " << std::strerror(error) << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // Before the application: --help and --version need no display, and a wrong option
    // is refused as display-send and display-sim refuse theirs.
    const app::CommandLine line = app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case app::CommandLine::Action::Help: return Print(app::UsageText());
    case app::CommandLine::Action::Version: return Print(app::VersionText());
    case app::CommandLine::Action::Wrong:
        std::cerr << command_line::UsageError("display-test", line.error);
        return command_line::kExitUsage;
    case app::CommandLine::Action::Run: break;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("display-test"));
    QApplication::setApplicationVersion(QStringLiteral(DISPLAYTEST_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vandry-display-test"));
    QApplication::setWindowIcon(res::LoadIcon(IDR_MAINFRAME));

    panel::PanelServices services;
    services.startPort = line.port;
    app::CDisplayTestApp theApp(std::move(services));
    theApp.InitInstance();
    return 0;
}
