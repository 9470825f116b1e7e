#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/display_test_app.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"

int main(int argc, char** argv)
{
    // Before the application: --help and --version need no display, and a wrong option
    // is refused as display-send and display-sim refuse theirs.
    const app::CommandLine line = app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case app::CommandLine::Action::Help:
        std::cout << app::UsageText();
        return 0;
    case app::CommandLine::Action::Version:
        std::cout << app::VersionText();
        return 0;
    case app::CommandLine::Action::Wrong:
        std::cerr << "display-test: " << line.error << "\nTry 'display-test --help'.\n";
        return 2;
    case app::CommandLine::Action::Run:
        break;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("display-test"));
    QApplication::setApplicationVersion(QStringLiteral(DISPLAYTEST_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vandry-display-test"));
    QApplication::setWindowIcon(res::LoadIcon(IDR_MAINFRAME));

    app::CDisplayTestApp theApp;
    theApp.InitInstance();
    return 0;
}
