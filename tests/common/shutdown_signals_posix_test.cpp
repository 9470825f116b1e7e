// The requests to end a program come into the event loop while the bridge lives; once it
// goes, the actions in place before are back, not the defaults.
#include <QSignalSpy>
#include <QtTest>

#include <signal.h>
#include <poll.h>

#include "common/shutdown_signals.h"

class ShutdownSignalsTest : public QObject {
    Q_OBJECT

private slots:
    void comeIntoTheLoopAndTheFormerActionsComeBack()
    {
        const auto handlerOf = [](int s) {
            struct sigaction now {};
            ::sigaction(s, nullptr, &now);
            return now.sa_handler;
        };
        void (*const own)(int) = +[](int) {};
        const auto testsOwn = handlerOf(SIGTERM);  // Qt Test's
        for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
            ::signal(SIGHUP, own);
            common::ShutdownSignals bridge;
            QVERIFY2(bridge.Installed(), bridge.Error().c_str());
            QSignalSpy caught(&bridge, &common::ShutdownSignals::Received);
            ::raise(signalNumber);
            // A wait outside the loop sees it before the loop has taken it.
            pollfd waiting{bridge.WaitHandle(), POLLIN, 0};
            QCOMPARE(::poll(&waiting, 1, 5000), 1);
            QVERIFY(caught.wait(5000));
            QCOMPARE(caught.first().first().toInt(), signalNumber);
            QCOMPARE(::poll(&waiting, 1, 0), 0);
        }
        QVERIFY(handlerOf(SIGHUP) == own);
        QVERIFY(handlerOf(SIGTERM) == testsOwn);
        ::signal(SIGHUP, SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(ShutdownSignalsTest)
#include "shutdown_signals_posix_test.moc"
