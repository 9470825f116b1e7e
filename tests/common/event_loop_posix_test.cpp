// What the OS tells comes into the event loop: a handle with something to read, while its
// notifier is on; the requests to end a program, while the bridge lives, after which the
// actions in place before are back, not the defaults.
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "common/handle_notifier.h"
#include "common/shutdown_signals.h"

class EventLoopTest : public QObject {
    Q_OBJECT

private slots:
    void aHandleIsHeardWhileItsNotifierIsOn()
    {
        int fds[2];
        QCOMPARE(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        const serial::OwnedHandle read(fds[0]), write(fds[1]);
        int heard = 0;
        common::HandleNotifier notifier(read.get(), [&] {
            char b = 0;
            while (::read(read.get(), &b, 1) == 1)
                ++heard;
        });
        QCOMPARE(::write(write.get(), "a", 1), 1);
        QTRY_COMPARE(heard, 1);
        notifier.SetEnabled(false);
        QCOMPARE(::write(write.get(), "b", 1), 1);
        QCoreApplication::processEvents();
        QCOMPARE(heard, 1);
        notifier.SetEnabled(true);
        QTRY_COMPARE(heard, 2);
    }

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

QTEST_GUILESS_MAIN(EventLoopTest)
#include "event_loop_posix_test.moc"
