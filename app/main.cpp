#include <QApplication>
#include <QCommandLineParser>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/display_test_app.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"

namespace {

// Qt answers --help and --version itself and ends the program; whether standard output
// took the text is known only here, on the way out. A text that did not arrive (a full
// disk) is a failure, said on standard error.
void FailWhenOutputWasLost()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return;
    const int error = errno;
    std::fprintf(stderr, "display-test: cannot write the output: %s\n", std::strerror(error));
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

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
    std::atexit(FailWhenOutputWasLost);
    parser.process(application);

    app::CDisplayTestApp theApp;
    theApp.InitInstance();
    return 0;
}
