// Renders the panel offscreen to PNG pictures, in English and in Chinese, for a person to
// look at: panel-screenshots <folder>. A pseudo-terminal stands in for the port.

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdio>

#include "panel/display_test_dlg.h"
#include "pty_pair.h"
#include "resources/resource_ids.h"

namespace {

bool Save(QWidget& widget, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

void Click(panel::CDisplayTestDlg& dlg, int id)
{
    if (auto* radio = qobject_cast<QRadioButton*>(dlg.GetDlgItem(id)))
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
    else
        QTest::mouseClick(static_cast<QPushButton*>(dlg.GetDlgItem(id)), Qt::LeftButton);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    PtyPair line;
    bool ok = true;

    {
        panel::PanelServices services;
        services.listPorts = [&] { return std::vector<std::string>{line.SlavePath(), "ttyUSB0"}; };
        panel::CDisplayTestDlg dlg(std::move(services));
        dlg.show();
        ok &= Save(dlg, dir, QStringLiteral("panel-start.png"));
        Click(dlg, IDC_LANG_EN);
        Click(dlg, IDC_LAMP_PRICE);
        Click(dlg, IDC_SEND);
        ok &= Save(dlg, dir, QStringLiteral("panel-english.png"));
        Click(dlg, IDC_LANG_CN);
        Click(dlg, IDC_SCROLL);
        ok &= Save(dlg, dir, QStringLiteral("panel-chinese.png"));
        line.ReadAll(0);
    }
    {
        panel::PanelServices services;
        services.listPorts = [] { return std::vector<std::string>{}; };
        panel::CDisplayTestDlg dlg(std::move(services));
        dlg.show();
        ok &= Save(dlg, dir, QStringLiteral("panel-no-port.png"));
    }
    return ok ? 0 : 1;
}
