#include <QApplication>

#include "panel/display_test_dlg.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    panel::CDisplayTestDlg dlg;
    dlg.exec();
    return 0;
}
