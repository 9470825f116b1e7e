// How long the panel takes to show its window, beside a bare Qt dialog that shows the same
// controls with the same Chinese captions in the same font and places (ShowBareDialog).
// Both are started the same way, as a process of this program on the same platform plugin
// (the environment's QT_QPA_PLATFORM), alternately, the order swapped every round, so that
// a load that comes and goes weighs on both alike; each one's median is printed, their
// ratio, and the median of the rounds' own ratios (the two starts of a round see much the
// same load, so that figure strays less on a busy machine).
//
// "Shown" is the moment the first expose of the dialog's window has been handled: Qt has
// painted every widget of it into the backing store and flushed that to the platform's
// window, so the user sees the whole first frame. The time runs from just before the
// process is started (its loading, Qt's start, the fonts, the dialog, its first paint),
// on the machine's monotonic clock, which both processes read.
//
//   panel-startup-benchmark [rounds = 20]
//   panel-startup-benchmark --show panel|bare   # one start, as a round makes it; under
//       valgrind --tool=callgrind it counts the instructions up to the first frame
//
// The panel opens no serial device here unless one is listed; a virtual display
// (display-sim) running meanwhile is listed and opened, as when a user starts both.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/display_test_app.h"
#include "panel/dialog_builder.h"
#include "resources/captions.h"
#include "resources/dialog_template.h"
#include "resources/icons.h"
#include "resources/resource_ids.h"

namespace {

using Clock = std::chrono::steady_clock;

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Says on standard output when the first window has been shown, then ends the process at
// once: what comes after is not measured, and nothing is left to wait for.
class ShowingApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool handled = QApplication::notify(receiver, event);
        const bool exposed =
            event->type() == QEvent::Expose && receiver->isWindowType() && static_cast<QWindow*>(receiver)->isExposed();
        if (exposed) {
            const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
            std::printf("%lld %s\n", static_cast<long long>(now.count()), qPrintable(platformName()));
            std::fflush(stdout);
            std::_Exit(0);
        }
        return handled;
    }
};

// The panel as display-test starts it (app/main.cpp).
int ShowPanel(int argc, char** argv)
{
    ShowingApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("display-test"));
    QApplication::setWindowIcon(res::LoadIcon(IDR_MAINFRAME));
    app::CDisplayTestApp theApp;
    theApp.InitInstance();
    return 1;  // closed before it was shown
}

// A dialog with nothing behind it: the panel's window title and controls (each kind,
// caption in Chinese and list items as the panel's template has them) where the template
// puts them, in the panel's font, so that Qt paints the same window. No caption fitting,
// no pictures, no port, no names for a screen reader: what Qt itself needs to show it.
int ShowBareDialog(int argc, char** argv)
{
    ShowingApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("display-test"));
    const res::DialogTemplate& tpl = res::TestPanelTemplate();
    QDialog dialog;
    dialog.setFont(panel::TemplateFont(tpl));
    dialog.setWindowTitle(FromUtf8(res::Caption(tpl.caption, res::Lang::Chinese)));
    const panel::DialogUnits units = panel::FontBaseUnits(dialog.font());
    for (const res::DialogControl& control : tpl.controls) {
        const QString caption =
            control.caption ? FromUtf8(res::Caption(*control.caption, res::Lang::Chinese)) : QString();
        QWidget* widget = nullptr;
        switch (control.kind) {
        case res::ControlKind::DropListCombo: {
            auto* combo = new QComboBox(&dialog);
            for (std::string_view item : control.initialItems)
                combo->addItem(FromUtf8(item));
            widget = combo;
            break;
        }
        case res::ControlKind::AutoRadio: widget = new QRadioButton(caption, &dialog); break;
        case res::ControlKind::Edit: widget = new QLineEdit(&dialog); break;
        case res::ControlKind::PushButton: widget = new QPushButton(caption, &dialog); break;
        case res::ControlKind::Static: widget = new QLabel(caption, &dialog); break;
        case res::ControlKind::GroupBox:
            widget = new QGroupBox(caption, &dialog);
            widget->lower();
            break;
        case res::ControlKind::IconStatic: continue;
        }
        widget->setGeometry(panel::MapDialogRect(units, control.x, control.y, control.cx, control.cy));
    }
    dialog.setFixedSize(panel::MapDialogRect(units, 0, 0, tpl.cx, tpl.cy).size());
    dialog.exec();
    return 1;
}

struct Start {
    double ms = 0;
    std::string platform;
};

// One start of this program with --show; false where it did not show its window.
bool StartOnce(const QString& program, const char* what, Start& start)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const Clock::time_point begin = Clock::now();
    process.start(program, {QStringLiteral("--show"), QString::fromLatin1(what)});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    long long shownNs = 0;
    char platform[64] = {};
    if (std::sscanf(process.readAllStandardOutput().constData(), "%lld %63s", &shownNs, platform) != 2)
        return false;
    const auto beginNs = std::chrono::duration_cast<std::chrono::nanoseconds>(begin.time_since_epoch()).count();
    start.ms = static_cast<double>(shownNs - beginNs) / 1e6;
    start.platform = platform;
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--show") == 0) {
        if (std::strcmp(argv[2], "panel") == 0)
            return ShowPanel(argc, argv);
        if (std::strcmp(argv[2], "bare") == 0)
            return ShowBareDialog(argc, argv);
    }
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: %s [rounds = 20]\n       %s --show panel|bare\n", argv[0], argv[0]);
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QCoreApplication application(argc, argv);
    const QString program = QCoreApplication::applicationFilePath();
    std::vector<double> panelMs, bareMs;
    std::string platform;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < 2; ++i) {
            const bool panel = (round + i) % 2 == 0;
            Start start;
            if (!StartOnce(program, panel ? "panel" : "bare", start)) {
                std::fprintf(stderr, "the %s did not show its window\n", panel ? "panel" : "bare dialog");
                return 1;
            }
            if (!platform.empty() && start.platform != platform) {
                std::fprintf(stderr, "the platform plugin changed: %s, then %s\n", platform.c_str(),
                             start.platform.c_str());
                return 1;
            }
            platform = start.platform;
            (panel ? panelMs : bareMs).push_back(start.ms);
        }
    }
    const double panel = Median(panelMs);
    const double bare = Median(bareMs);
    std::printf("%d starts of each on the %s platform, time to the first frame:\n", rounds, platform.c_str());
    const auto fastest = [](const std::vector<double>& ms) { return *std::min_element(ms.begin(), ms.end()); };
    std::printf("  panel        median %8.1f ms (fastest %8.1f ms)\n", panel, fastest(panelMs));
    std::printf("  bare dialog  median %8.1f ms (fastest %8.1f ms)\n", bare, fastest(bareMs));
    std::vector<double> roundRatios;
    for (std::size_t i = 0; i < panelMs.size(); ++i)
        roundRatios.push_back(panelMs[i] / bareMs[i]);
    std::printf("  ratio        %.2f (aim <= 1.10), median of the rounds' ratios %.2f\n", panel / bare,
                Median(roundRatios));
    return 0;
}
