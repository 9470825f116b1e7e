// The live connection, measured on the real panel (offscreen) with pseudo-terminals as
// the ports, never the machine's own serial devices:
//  - on a stalled line during the demonstration, the longest time the window's event
//    loop was kept from running, and how long closing the panel took;
//  - the time from a virtual port coming back under its name to the panel reopening it;
//  - the panel's CPU time while it idles on an open port.
//
//   panel-live-benchmark [stalled seconds = 10] [comebacks = 5] [idle seconds = 60]

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sys/resource.h>

#include "tests/support/virtual_folder.h"

namespace {

using harness::PtyPair;
using harness::VirtualFolder;
using panel::CDisplayTestDlg;

// The panel as the program runs it: real timers and clock, the folder's ports.
std::unique_ptr<CDisplayTestDlg> RealPanel(const VirtualFolder& folder)
{
    auto dlg = std::make_unique<CDisplayTestDlg>(folder.Services());
    harness::Settle(*dlg);
    return dlg;
}

// Turns the event loop for the time given; returns the longest gap between two turns.
double LongestStallMs(int seconds)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    qint64 worst = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    probe.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return static_cast<double>(worst);
}

void StalledLine(int seconds)
{
    VirtualFolder folder;
    PtyPair line;
    folder.Publish("sim0", line.path());
    auto dlg = RealPanel(folder);
    line.Stall();
    harness::Click(*dlg, IDC_AUTO);
    const double worst = LongestStallMs(seconds);
    QElapsedTimer closing;
    closing.start();
    dlg->reject();
    const qint64 closeMs = closing.elapsed();
    std::printf("stalled line, %d s of the demonstration: longest event-loop stall %.0f ms (aim < 50), "
                "closing took %lld ms (aim < 1000), port %s\n",
                seconds, worst, static_cast<long long>(closeMs),
                harness::PortIsFree(line.path()) ? "released" : "STILL HELD");
    line.Resume();
}

void Comebacks(int times)
{
    VirtualFolder folder;
    auto line = std::make_unique<PtyPair>();
    folder.Publish("sim0", line->path());
    auto dlg = RealPanel(folder);
    double worst = 0;
    double total = 0;
    for (int i = 0; i < times; ++i) {
        line->CloseMaster();
        folder.Unpublish("sim0");
        (void)QTest::qWaitFor([&] { return !dlg->Core().PortOpen(); }, 5000);
        QTest::qWait(300);  // gone for a while
        line = std::make_unique<PtyPair>();
        QElapsedTimer back;
        back.start();
        folder.Publish("sim0", line->path());
        if (!QTest::qWaitFor([&] { return dlg->Core().PortOpen(); }, 10000)) {
            std::printf("port coming back: NOT reopened within 10 s\n");
            return;
        }
        const double ms = static_cast<double>(back.elapsed());
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("port coming back under its name, %d times: reopened after %.0f ms on average, %.0f ms at worst "
                "(aim < 1000)\n",
                times, total / times, worst);
}

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Idle(int seconds)
{
    VirtualFolder folder;
    PtyPair line;
    folder.Publish("sim0", line.path());
    // The machine's device folder is followed too, as in the program.
    panel::PanelServices services = folder.Services();
    services.watchFolders->push_back("/dev");
    CDisplayTestDlg dlg(std::move(services));
    harness::Settle(dlg);
    const double before = CpuSeconds();
    QEventLoop loop;  // not qWait: it wakes every few milliseconds itself
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("idle on an open port for %d s: %.3f s of CPU (aim < 0.1 per minute)\n", seconds,
                CpuSeconds() - before);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int stalled = argc > 1 ? std::atoi(argv[1]) : 10;
    const int comebacks = argc > 2 ? std::atoi(argv[2]) : 5;
    const int idle = argc > 3 ? std::atoi(argv[3]) : 60;
    StalledLine(stalled);
    Comebacks(comebacks);
    Idle(idle);
    return 0;
}
