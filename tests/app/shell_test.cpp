// The application around the panel: it runs the panel until the user closes it, releases
// the port then, and offers the About box. The panel runs modally here as in the program,
// so each test hands the application a script that runs inside the panel's event loop.

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <functional>

#include <cstring>
#include <signal.h>
#include <termios.h>
#include <sys/ioctl.h>

#include "tests/support/child_process.h"
#include "tests/support/virtual_folder.h"
#include "app/about_dlg.h"
#include "app/display_test_app.h"
#include "serial/serial_port.h"

using namespace harness;
using namespace std::chrono_literals;

namespace {

struct Run {
    ManualTimer* timer = nullptr;  // while the panel lives
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
};

// Runs the application on the ports; the script gets the panel once it shows. Whatever
// the script leaves open is closed afterwards, so a failing script cannot hang the test.
// True if the script ran and closed the panel itself.
bool RunApplication(Run& run, std::vector<std::string> ports, const std::function<void(CDisplayTestDlg&)>& script)
{
    bool scriptRan = false;
    bool panelStillOpen = false;
    panel::PanelServices services;
    services.listPorts = [ports] { return ports; };
    services.watchFolders = std::vector<std::string>{};
    services.now = [clock = run.clock] { return clock->now; };
    auto timer = std::make_unique<ManualTimer>();
    run.timer = timer.get();
    services.timer = std::move(timer);

    // Only for a script stuck in a window of its own: closes every window, so that the
    // test fails instead of hanging.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        qWarning("a window was left open; closing it");
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        for (int i = 0; i < 10 && QApplication::activeModalWidget(); ++i)
            QApplication::activeModalWidget()->close();
    });
    watchdog.start(20000);

    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CDisplayTestDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        scriptRan = true;
        Settle(*dlg);  // the port has opened
        script(*dlg);
        // Bounded, and without assuming the kind of window: one that will not close
        // leaves the watchdog to fail the test.
        for (int i = 0; i < 10 && QApplication::activeModalWidget(); ++i) {
            panelStillOpen = true;
            QApplication::activeModalWidget()->close();
        }
    });
    app::CDisplayTestApp theApp(std::move(services));
    if (theApp.InitInstance())
        qWarning("InitInstance asked to go on");
    run.timer = nullptr;  // went with the panel
    return scriptRan && !panelStillOpen;
}

bool ActivateWindow(QWidget& window)
{
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowAndItsKeys()
    {
        PtyPair line;
        Run run;
        QVERIFY(RunApplication(run, {line.path()}, [&](CDisplayTestDlg& dlg) {
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Vandry Customer Display Test"));
            QVERIFY(!dlg.windowIcon().isNull());
            QVERIFY(dlg.windowIcon().availableSizes().contains(QSize(32, 32)));
            QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
            QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);

            // F1 does no harm, Enter on a focused button clicks it.
            QVERIFY(ActivateWindow(dlg));
            QTest::keyClick(&dlg, Qt::Key_F1);
            QTest::keyClick(dlg.GetDlgItem(IDC_DATA), Qt::Key_F1);
            QCOMPARE(QApplication::activeModalWidget(), &dlg);
            QCOMPARE(UpperStatus(dlg), QString());
            QCOMPARE(line.ReadAll(100), QByteArray());
            QWidget* scrolling = dlg.GetDlgItem(IDC_SCROLL);
            scrolling->setFocus();
            QTest::keyClick(scrolling, Qt::Key_Return);
            QVERIFY(dlg.isVisible());
            QCOMPARE(line.ReadAll(), QByteArray::fromHex("0c1b514431323334353637380d"));
            dlg.reject();
        }));
    }

    void closingEndsTheProgramAndReleasesThePort_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Escape") << QStringLiteral("Escape");
        QTest::newRow("close box") << QStringLiteral("close");
        QTest::newRow("Enter on the data edit") << QStringLiteral("Enter");
        QTest::newRow("Enter on a radio button") << QStringLiteral("Enter radio");
        QTest::newRow("SIGTERM") << QStringLiteral("SIGTERM");
    }
    void closingEndsTheProgramAndReleasesThePort()
    {
        QFETCH(QString, how);
        PtyPair line;
        QByteArray sentWhileOpen;
        Run run;
        QVERIFY(RunApplication(run, {line.path()}, [&](CDisplayTestDlg& dlg) {
            QVERIFY(ActivateWindow(dlg));
            // The demonstration runs while the panel closes.
            Click(dlg, IDC_AUTO);
            QVERIFY(!PortIsFree(line.path()));
            if (how == QLatin1String("Escape")) {
                QTest::keyClick(dlg.GetDlgItem(IDC_BAUD), Qt::Key_Escape);
            } else if (how == QLatin1String("close")) {
                dlg.close();
            } else if (how == QLatin1String("SIGTERM")) {
                ::kill(::getpid(), SIGTERM);
                QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
            } else {
                QWidget* focus = dlg.GetDlgItem(how == QLatin1String("Enter") ? IDC_DATA : IDC_LAMP_PRICE);
                focus->setFocus();
                QVERIFY(focus->hasFocus());
                QTest::keyClick(focus, Qt::Key_Return);
            }
            QVERIFY(!dlg.isVisible());
            QVERIFY(!run.timer->IsActive());  // the demonstration ended with the window
            sentWhileOpen = line.ReadAll(100);
        }));
        QCOMPARE(sentWhileOpen, QByteArray());  // nothing is sent on closing
        QCOMPARE(line.ReadAll(100), QByteArray());
        QVERIFY(PortIsFree(line.path()));
    }

    // The program itself, on a virtual display's line, asked to end by a signal: it ends
    // as on Escape and leaves the line out of exclusive mode, for the next program.
    void aSignalEndsTheProgramAndReleasesThePort_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void aSignalEndsTheProgramAndReleasesThePort()
    {
        QFETCH(int, signalNumber);
        VirtualFolder folder;  // the program's runtime folder: sim0 is the first port it lists
        PtyPair line;
        folder.Publish("sim0", line.path());
        const auto exclusive = [&] {
            int set = 0;
            return ::ioctl(line.slave(), TIOCGEXCL, &set) == 0 && set != 0;
        };
        testing_child::Child program(DISPLAY_TEST_EXE, {});
        QVERIFY(program.started());
        QTRY_VERIFY_WITH_TIMEOUT(exclusive(), 10000);  // the panel holds the line

        ::kill(program.pid(), signalNumber);
        const int exitCode = program.Wait(std::chrono::seconds(1));
        QVERIFY(!exclusive());
        QCOMPARE(exitCode, 0);
        QVERIFY(PortIsFree(line.path()));
    }

    void theAboutBoxIsModalAndTheDemonstrationGoesOn()
    {
        PtyPair line;
        Run run;
        QString entry;
        bool aboutShown = false;
        QString version;
        QByteArray sentMeanwhile;
        QString statusMeanwhile;
        bool panelBlocked = false;

        const auto aboutScript = [&] {
            auto* about = qobject_cast<app::CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(about);
            aboutShown = about->isVisible() && about->isModal();
            version = about->findChild<QLabel*>(QStringLiteral("version"))->text();
            auto* dlg = qobject_cast<CDisplayTestDlg*>(about->parentWidget());
            QVERIFY(dlg);
            panelBlocked = QApplication::activeModalWidget() != dlg;
            // A period passes while the About box is open.
            run.clock->Advance(1s);
            run.timer->Fire();
            sentMeanwhile = line.ReadAll();
            statusMeanwhile = UpperStatus(*dlg);
            about->accept();
        };
        const auto menuScript = [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QCOMPARE(menu->actions().size(), 1);
            entry = menu->actions().first()->text();
            QTimer::singleShot(0, aboutScript);  // runs once the About box is up
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        };

        QVERIFY(RunApplication(run, {line.path()}, [&](CDisplayTestDlg& dlg) {
            Click(dlg, IDC_AUTO);
            // A right click on the panel offers the About entry.
            QTimer::singleShot(0, menuScript);
            const QPoint at(dlg.width() / 2, 4);
            QContextMenuEvent click(QContextMenuEvent::Mouse, at, dlg.mapToGlobal(at));
            QApplication::sendEvent(&dlg, &click);
            QVERIFY(dlg.isVisible());
            dlg.reject();
        }));
        QCOMPARE(entry, QStringLiteral("关于 Ostrel(&A)..."));
        QVERIFY(aboutShown);
        QVERIFY(panelBlocked);
        QCOMPARE(version, QStringLiteral("版本 1.0.0.2"));
        QCOMPARE(sentMeanwhile, QByteArray::fromHex("0c"));
        QCOMPARE(statusMeanwhile, QStringLiteral("发送: 清屏"));
    }

    // The built program, on no display at all: help and version on standard output, a
    // wrong option refused as display-send and display-sim refuse theirs.
    void theCommandLineAnswersWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");  // how standard output begins
        QTest::addColumn<QString>("err");  // all of standard error
        const auto row = [](const char* name, QStringList args, int status, const char* out, const char* err = "") {
            const QString hint = *err ? QStringLiteral("\nTry 'display-test --help'.\n") : QString();
            QTest::newRow(name) << args << status << QString::fromUtf8(out) << QString::fromUtf8(err) + hint;
        };
        row("--help", {"--help"}, 0, "Usage: display-test ");
        row("-h", {"-h"}, 0, "Usage: display-test ");
        row("--help after a wrong option", {"--bogus", "--help"}, 0, "Usage: display-test ");
        row("--version", {"--version"}, 0, "display-test 1.0.0.2\n");
        row("-v", {"-v"}, 0, "display-test 1.0.0.2\n");
        row("Qt's options pass", {"-platform", "xcb", "-reverse", "--style=fusion", "--version"}, 0,
            "display-test 1.0.0.2\n");
        row("Qt's options with one dash and =", {"-platform=xcb", "-style", "fusion", "--version"}, 0,
            "display-test 1.0.0.2\n");
        row("unknown option", {"--bogus"}, 2, "", "display-test: unknown option --bogus");
        row("an abbreviation", {"--vers"}, 2, "", "display-test: unknown option --vers");
        row("-h and -v run together", {"-hv"}, 2, "", "display-test: unknown option -hv");
        row("a flag of Qt's given a value", {"-reverse=1"}, 2, "", "display-test: unknown option -reverse=1");
        row("unknown before --version", {"--version", "-x"}, 2, "", "display-test: unknown option -x");
        row("an argument", {"ttyUSB0"}, 2, "",
            "display-test: unexpected argument \"ttyUSB0\"; the panel takes no file; name a port with --port");
        row("--port with --version", {"--port", "tcp://[::1]:4001", "--version"}, 0, "display-test 1.0.0.2\n");
        row("a network port without its port number", {"--port", "rfc2217://till3"}, 2, "",
            "display-test: --port \"rfc2217://till3\": no port number after the host (HOST:PORT)");
        row("a network port out of range", {"--port=tcp://10.0.0.7:70000"}, 2, "",
            "display-test: --port \"tcp://10.0.0.7:70000\": port 70000 is out of range (1 to 65535)");
        row("--port twice", {"--port", "sim0", "--port", "sim1"}, 2, "", "display-test: --port given twice");
        row("Qt's option without its value", {"-platform"}, 2, "", "display-test: -platform needs a value");
    }
    void theCommandLineAnswersWithoutADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(DISPLAY_TEST_EXE), args);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString shown = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.isEmpty() ? shown.isEmpty() : shown.startsWith(out), qPrintable(shown));
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), err);
    }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
