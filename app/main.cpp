#include <QApplication>
#include <QCommandLineParser>

#include "app/display_test_app.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("display-test"));
    QApplication::setApplicationVersion(QStringLiteral(DISPLAYTEST_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vandry-display-test"));
    QApplication::setWindowIcon(res::LoadIcon(IDR_MAINFRAME));

    // --help and --version as the other two programs answer them; Qt has taken its own
    // options (-platform, -qwindowgeometry...) out of the arguments already.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Test panel for a serial customer display."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(application);

    app::CDisplayTestApp theApp;
    theApp.InitInstance();
    return 0;
}
