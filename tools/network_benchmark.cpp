// A display on the network, measured on the real panel (offscreen) with pseudo-terminals as
// the lines, never the machine's own serial devices:
//  - from a click on Send Data to the last byte on the line, through ser2net's RFC 2217
//    accepter, against the same through a local virtual port;
//  - the time from ser2net's return after it was killed to the panel reopening the port.
//
//   panel-network-benchmark [sends = 50] [comebacks = 5]

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/device_server.h"
#include "tests/support/virtual_folder.h"

namespace {

using harness::PtyPair;
using harness::VirtualFolder;
using panel::CDisplayTestDlg;
using testing_support::DeviceServer;

// The panel as the program runs it, on the one port given.
std::unique_ptr<CDisplayTestDlg> PanelOn(const VirtualFolder& folder, const std::string& port)
{
    panel::PanelServices services = folder.Services();
    services.listPorts = [port] { return std::vector<std::string>{port}; };
    auto dlg = std::make_unique<CDisplayTestDlg>(std::move(services));
    harness::Settle(*dlg);
    return dlg;
}

// Milliseconds from a click on Send Data to the message's last byte (CR) on the line;
// negative when it did not arrive.
double ClickToLine(CDisplayTestDlg& dlg, const PtyPair& line)
{
    line.ReadAll(0, 0);  // nothing left over from before
    QElapsedTimer clock;
    clock.start();
    harness::Click(dlg, IDC_SEND);
    QByteArray got;
    while (clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        got += line.ReadAll(1, 0);
        if (got.endsWith('\r'))
            return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    return -1;
}

void Sends(const char* what, CDisplayTestDlg& dlg, const PtyPair& line, int times)
{
    if (!dlg.Core().PortOpen()) {
        std::printf("%s: the port did not open\n", what);
        return;
    }
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        const double t = ClickToLine(dlg, line);
        if (t < 0) {
            std::printf("%s: a message did not arrive within 5 s\n", what);
            return;
        }
        ms.push_back(t);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s, %d clicks: median %.2f ms, worst %.2f ms from the click to the last byte\n", what, times,
                ms[ms.size() / 2], ms.back());
}

void Comebacks(DeviceServer& server, CDisplayTestDlg& dlg, int times)
{
    double worst = 0;
    double total = 0;
    for (int i = 0; i < times; ++i) {
        server.Kill();
        (void)QTest::qWaitFor([&] { return !dlg.Core().PortOpen(); }, 5000);
        QTest::qWait(300);  // gone for a while
        QElapsedTimer back;
        back.start();
        server.Start();
        if (!QTest::qWaitFor([&] { return dlg.Core().PortOpen(); }, 10000)) {
            std::printf("ser2net coming back: NOT reopened within 10 s\n");
            return;
        }
        const double ms = static_cast<double>(back.elapsed());
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("ser2net killed and started again, %d times: reopened after %.0f ms on average, %.0f ms at worst "
                "(aim < 1500: the retry is once a second)\n",
                times, total / times, worst);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int sends = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int comebacks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (!testing_support::HaveSer2net()) {
        std::printf("no %s: install ser2net (scripts/setup.sh test)\n", testing_support::kSer2net);
        return 1;
    }
    VirtualFolder folder;
    {
        PtyPair local;
        folder.Publish("sim0", local.path());
        auto dlg = PanelOn(folder, "sim0");
        Sends("local virtual port", *dlg, local, sends);
    }
    PtyPair remote;
    DeviceServer server(remote.path(), DeviceServer::Accepter::Rfc2217);
    if (!server.Running()) {
        std::printf("ser2net did not start\n");
        return 1;
    }
    auto dlg = PanelOn(folder, server.Name());
    (void)QTest::qWaitFor([&] { return dlg->Core().PortOpen(); }, 5000);
    Sends("through ser2net (RFC 2217)", *dlg, remote, sends);
    Comebacks(server, *dlg, comebacks);
    return 0;
}
