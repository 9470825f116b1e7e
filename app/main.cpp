#include <QApplication>

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

    app::CDisplayTestApp theApp;
    theApp.InitInstance();
    return 0;
}
