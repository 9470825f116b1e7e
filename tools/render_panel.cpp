// Renders the panel offscreen to PNG pictures, in English and in Chinese, stopped and with
// the demonstration running, for a person to look at: panel-screenshots <folder>.
// A pseudo-terminal stands in for the port.

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "tests/support/virtual_folder.h"

using namespace harness;

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

void Steps(const Panel& p, PtyPair& line, int count)
{
    for (int i = 0; i < count; ++i) {
        p.clock->Advance(std::chrono::seconds(1));
        p.timer->Fire();
        line.ReadAll(1000, 1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    PtyPair line;
    bool ok = true;
    {
        const Panel p = MakePanel({line.path(), "ttyUSB0"});
        p->show();
        ok &= Save(*p, dir, QStringLiteral("panel-start.png"));
        ChooseLanguage(*p, true);
        ClickRadio(Control<QRadioButton>(*p, IDC_LAMP_PRICE));
        Click(*p, IDC_SEND);
        line.ReadAll();
        ok &= Save(*p, dir, QStringLiteral("panel-english.png"));

        Click(*p, IDC_AUTO);
        Steps(p, line, 10);
        ok &= Save(*p, dir, QStringLiteral("panel-english-running.png"));
        ChooseLanguage(*p, false);
        p.clock->Advance(std::chrono::seconds(56));
        Steps(p, line, 1);
        ok &= Save(*p, dir, QStringLiteral("panel-chinese-running.png"));
        Click(*p, IDC_AUTO);
        Click(*p, IDC_SCROLL);
        line.ReadAll();
        ok &= Save(*p, dir, QStringLiteral("panel-chinese.png"));
    }
    {
        const Panel p = MakePanel({});
        p->show();
        ok &= Save(*p, dir, QStringLiteral("panel-no-port.png"));
        ChooseLanguage(*p, true);
        ok &= Save(*p, dir, QStringLiteral("panel-no-port-english.png"));
    }
    {
        // The chosen port went away: it stays in the list, marked so.
        PtyPair gone;
        const Panel p = MakePanel({gone.path()});
        p->show();
        Relist(p, {});
        ok &= Save(*p, dir, QStringLiteral("panel-port-away.png"));
    }
    for (const bool english : {false, true}) {
        // The network port dialog over the panel, first as it opens, then with a host
        // that is no name: OK waits, and the line says why.
        const Panel p = MakePanel({line.path()});
        p->show();
        ChooseLanguage(*p, english);
        auto* ports = Control<QComboBox>(*p, IDC_PORT);
        Choose(ports, ports->count() - 1);
        panel::NetworkPortDlg* net = p->NetworkDialog();
        if (!net)
            return 1;
        const QString language = QLatin1String(english ? "english" : "chinese");
        ok &= Save(*net, dir, QStringLiteral("network-port-%1.png").arg(language));
        net->HostEdit()->setText(QStringLiteral("till 3"));
        ok &= Save(*net, dir, QStringLiteral("network-port-%1-bad-host.png").arg(language));
        net->HostEdit()->setText(QStringLiteral("127.0.0.1"));  // nothing leaves the machine
        net->accept();
        Settle(*p);
        ok &= Save(*p, dir, QStringLiteral("panel-network-%1.png").arg(language));
    }
    return ok ? 0 : 1;
}
