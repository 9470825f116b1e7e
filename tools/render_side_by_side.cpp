// Renders the virtual display and the panel side by side, offscreen, as scripts/run.sh
// places them (the display on the left, at its own size), after the panel sent
// 12.50 with the Price lamp over the display's own pseudo-terminal:
//   sim-screenshot <file.png>
// The README shows the picture (docs/screenshot.png).

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>

#include <cstdio>

#include "panel/display_test_dlg.h"
#include "resources/resource_ids.h"
#include "sim/display_listener.h"
#include "protocol/display_commands.h"
#include "serial/display_line.h"
#include "serial/port_name.h"
#include "serial/virtual_port.h"
#include "sim/segment_display.h"
#include "sim/sim_window.h"
#include "tests/support/panel_harness.h"

using harness::Click;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");

    // The display publishes itself as sim0 in a virtual-port folder of its own, which the
    // panel is given as its only port.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    serial::DisplayLine line;
    serial::VirtualPortPublication link;
    std::string error;
    if (!line.OpenOwnLine(protocol::kDefaultBaud, &error)
        || !link.Publish(serial::DefaultVirtualPortDir(), line.DevicePath(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    sim::DisplayListener display(line);
    sim::SimWindow window(display, QString::fromStdString(link.Name() + " (" + line.DevicePath() + ")"));
    window.show();

    panel::PanelServices services;
    services.listPorts = [&link] { return std::vector<std::string>{link.Name()}; };
    panel::CDisplayTestDlg dlg(std::move(services));
    dlg.show();

    Click(dlg, IDC_LANG_EN);
    Click(dlg, IDC_LAMP_PRICE);
    qobject_cast<QLineEdit*>(dlg.GetDlgItem(IDC_DATA))->setText(QStringLiteral("12.50"));
    Click(dlg, IDC_SEND);
    // The click is answered once the bytes have left; the display may have read them
    // meanwhile, or does so now.
    pollfd p{line.WaitHandle(), POLLIN, 0};
    if (::poll(&p, 1, 500) == 1)
        display.ReadAvailable();
    QApplication::processEvents();
    if (!window.Face()->ShownLamps()[static_cast<std::size_t>(sim::Lamp::Price)]) {
        std::fprintf(stderr, "the display does not show what the panel sent\n");
        return 1;
    }

    const QPixmap left = window.grab();
    const QPixmap right = dlg.grab();
    const int gap = 24;
    QImage picture(left.width() + right.width() + 3 * gap, std::max(left.height(), right.height()) + 2 * gap,
                   QImage::Format_RGB32);
    picture.fill(QColor(70, 74, 80));
    QPainter painter(&picture);
    // The windows' tops aligned, as run.sh places them.
    painter.drawPixmap(gap, gap, left);
    painter.drawPixmap(left.width() + 2 * gap, gap, right);
    painter.end();
    if (!picture.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
