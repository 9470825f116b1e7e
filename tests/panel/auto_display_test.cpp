// The automatic demonstration: its clock on its own, then the steps as the panel sends
// them, with the clock and the timer moved by the test.

#include <QTest>

#include "panel/auto_display.h"
#include "tests/support/virtual_folder.h"
#include "serial/serial_port.h"

using namespace harness;
using namespace std::chrono_literals;

namespace {

// One period: the clock moves a second, the timer fires.
void Step(const Panel& p, std::chrono::seconds elapse = 1s)
{
    p.clock->Advance(elapse);
    p.timer->Fire();
}

}  // namespace

class AutoDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void runTimeClock_data()
    {
        QTest::addColumn<long long>("seconds");
        QTest::addColumn<QString>("clock");
        QTest::newRow("start") << 0LL << "0:0:0";
        QTest::newRow("59 s") << 59LL << "0:0:59";
        QTest::newRow("a minute") << 60LL << "0:1:0";
        QTest::newRow("67 s") << 67LL << "0:1:7";
        QTest::newRow("an hour less a second") << 3599LL << "0:59:59";
        QTest::newRow("an hour") << 3600LL << "1:0:0";
        QTest::newRow("a day less a second") << 86399LL << "23:59:59";
        QTest::newRow("a day") << 86400LL << "0:0:0";
        QTest::newRow("a day, an hour, a minute, a second") << 90061LL << "1:1:1";
        QTest::newRow("-65 s") << -65LL << "0:-1:-5";
        QTest::newRow("-1 h -1 min -1 s") << -3661LL << "-1:-1:-1";
        QTest::newRow("a day and a second back") << -86401LL << "0:0:-1";
        QTest::newRow("a year") << 31536000LL << "0:0:0";
    }
    void runTimeClock()
    {
        QFETCH(long long, seconds);
        QFETCH(QString, clock);
        QCOMPARE(QString::fromStdString(panel::FormatRunTime(seconds)), clock);
    }

    void elapsedTimeCountsWholeSeconds()
    {
        const std::chrono::steady_clock::time_point start{10s};
        QCOMPARE(panel::ElapsedSeconds(start, start + 999ms), 0LL);
        QCOMPARE(panel::ElapsedSeconds(start, start + 1999ms), 1LL);
        QCOMPARE(panel::ElapsedSeconds(start, start + 3600s), 3600LL);
    }

    void theStepsFollowEachOther()
    {
        for (int step = 1; step < panel::kAutoStepCount; ++step)
            QCOMPARE(panel::NextAutoStep(step), step + 1);
        QCOMPARE(panel::NextAutoStep(14), 1);
    }

    void everyStepPutsItsBytesOnTheLine_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        const auto row = [](int step, const char* hex, const char* english, const char* chinese) {
            QTest::addRow("step %d", step)
                << step << QByteArray::fromHex(hex) << QString::fromUtf8(english) << QString::fromUtf8(chinese);
        };
        row(1, "0c", "Clear", "清屏");
        row(2, "1b5141300d", "0", "0");
        row(3, "1b5141302e310d", "0.1", "0.1");
        row(4, "1b5141302e31320d", "0.12", "0.12");
        row(5, "1b5141302e3132330d", "0.123", "0.123");
        row(6, "1b5141302e313233340d", "0.1234", "0.1234");
        row(7, "1b5141302e31323334350d", "0.12345", "0.12345");
        row(8, "1b5141302e3132333435360d", "0.123456", "0.123456");
        row(9, "1b5141302e313233343536370d", "0.1234567", "0.1234567");
        row(10, "1b5141382e382e382e382e382e382e382e380d", "8.8.8.8.8.8.8.8", "8.8.8.8.8.8.8.8");
        row(11, "1b7331", "Price", "单价");
        row(12, "1b7332", "Total", "总计");
        row(13, "1b7333", "Collect", "收款");
        row(14, "1b7334", "Change", "找零");
        row(15, "0c", "Clear", "清屏");  // the cycle starts again
    }
    void everyStepPutsItsBytesOnTheLine()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        for (bool inEnglish : {true, false}) {
            const PanelOnLine p;
            ChooseLanguage(*p, inEnglish);
            Click(*p, IDC_AUTO);
            for (int i = 1; i < step; ++i) {
                Step(p);
                QVERIFY(!p.line.ReadAll(1000, 1).isEmpty());
            }
            Step(p);
            QCOMPARE(p.line.ReadAll(), bytes);
            const QString clock = QStringLiteral("0:0:%1").arg(step);
            QCOMPARE(UpperStatus(*p),
                     inEnglish ? QStringLiteral("Send:    ") + english : QStringLiteral("发送: ") + chinese);
            QCOMPARE(LowerStatus(*p), (inEnglish ? QStringLiteral("Runtime: ") : QStringLiteral("用时: ")) + clock);
        }
    }

    void theClockShowsTheTimeSinceTheStart()
    {
        const PanelOnLine p;
        p.clock->Advance(500s);  // the clock counts from the start, not from its own zero
        Click(*p, IDC_AUTO);
        for (int i = 0; i < 10; ++i)
            Step(p);
        Step(p, 57s);  // step 11 at 67 s
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 单价"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("用时: 0:1:7"));
    }

    // A run started and stopped on an open port, or stopped once the line it chose failed
    // to open; either way each step writes the data read back when the run started.
    void startAndStopSwitchTheButtons_data()
    {
        QTest::addColumn<bool>("lineLost");
        QTest::addColumn<QString>("afterStop");
        QTest::newRow("port open") << false << QStringLiteral("SDFA");
        QTest::newRow("a port held elsewhere chosen meanwhile") << true << QStringLiteral("----");
    }
    void startAndStopSwitchTheButtons()
    {
        QFETCH(bool, lineLost);
        QFETCH(QString, afterStop);
        PtyPair line, held;
        serial::CSerialPort otherProgram;
        QVERIFY(otherProgram.Open(held.path(), 2400));
        const Panel p = MakePanel({line.path(), held.path()});
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("自动演示(&A)"));
        auto* data = Control<QLineEdit>(*p, IDC_DATA);
        data->setText(QStringLiteral("1.23"));
        Click(*p, IDC_AUTO);
        data->setText(QStringLiteral("4.5"));
        QVERIFY(p.timer->IsActive());
        QCOMPARE(p.timer->Period(), 1000ms);
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("停止(&T)"));
        QCOMPARE(EnabledActions(*p), QStringLiteral("---A"));
        Step(p);
        QCOMPARE(data->text(), QStringLiteral("1.23"));
        if (lineLost)
            Choose(Control<QComboBox>(*p, IDC_PORT), 1);
        QCOMPARE(EnabledActions(*p), QStringLiteral("---A"));
        Click(*p, IDC_AUTO);
        QVERIFY(!p.timer->IsActive());
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("自动演示(&A)"));
        QCOMPARE(EnabledActions(*p), afterStop);
    }

    void aStopBeforeTheFirstPeriodSendsNothingAndTheNextRunStartsWithClear()
    {
        const PanelOnLine p;
        Click(*p, IDC_SCROLL);
        p.line.ReadAll();
        Click(*p, IDC_AUTO);
        Click(*p, IDC_AUTO);
        p.timer->Fire();  // a stopped timer no longer ticks
        QCOMPARE(p.line.ReadAll(200), QByteArray());
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 滚动"));
        QCOMPARE(LowerStatus(*p), QString());

        Click(*p, IDC_AUTO);
        for (int i = 0; i < 5; ++i)
            Step(p);
        p.line.ReadAll();
        Click(*p, IDC_AUTO);  // stop in the middle of the cycle
        Click(*p, IDC_AUTO);
        Step(p);
        QCOMPARE(p.line.ReadAll(), QByteArray::fromHex("0c"));
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 清屏"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("用时: 0:0:1"));
    }

    void aPortChangeDuringARun()
    {
        PtyPair first, second;
        serial::CSerialPort otherProgram;
        QVERIFY(otherProgram.Open(second.path(), 2400));
        const Panel p = MakePanel({first.path(), second.path()});
        Click(*p, IDC_AUTO);
        for (int i = 0; i < 3; ++i)
            Step(p);
        first.ReadAll();

        // A new baud rate: the port reopens, the run goes on and keeps the manual actions
        // disabled, or the next step would overwrite what they show.
        Choose(Control<QComboBox>(*p, IDC_BAUD), 1);
        QCOMPARE(EnabledActions(*p), QStringLiteral("---A"));
        QCOMPARE(Caption(*p, IDC_AUTO), QStringLiteral("停止(&T)"));
        QVERIFY(p.timer->IsActive());
        Step(p);
        QCOMPARE(first.ReadAll(), QByteArray::fromHex("1b5141302e31320d"));  // step 4

        // A port that does not open: the run can still be stopped, and says that its steps fail.
        Choose(Control<QComboBox>(*p, IDC_PORT), 1);
        QCOMPARE(EnabledActions(*p), QStringLiteral("---A"));
        Step(p);  // step 5, lost
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 失败"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("用时: 0:0:5"));

        // Once the port is free, choosing again opens it and the cycle goes on where it was.
        otherProgram.Close();
        Choose(Control<QComboBox>(*p, IDC_BAUD), 0);
        QCOMPARE(PortIcon(*p), IDI_PORT_OPEN);
        QCOMPARE(EnabledActions(*p), QStringLiteral("---A"));
        Step(p);
        QCOMPARE(second.ReadAll(), QByteArray::fromHex("1b5141302e313233340d"));  // step 6
        QCOMPARE(UpperStatus(*p), QStringLiteral("发送: 0.1234"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("用时: 0:0:6"));
    }

    void aStepWaitsWhileTheLineHoldsTheLastOne()
    {
        const PanelOnLine p;
        ChooseLanguage(*p, true);
        Click(*p, IDC_AUTO);
        Step(p);
        QCOMPARE(p.line.ReadAll(), QByteArray::fromHex("0c"));
        QVERIFY(p.line.Stall());
        p.clock->Advance(1s);
        p.timer->Fire(false);  // step 2 waits on the line
        p.clock->Advance(1s);
        p.timer->Fire(false);  // and holds back step 3
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send: Waiting for the line"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("Runtime: 0:0:3"));

        QVERIFY(p.line.Resume());
        QVERIFY(Settle(*p));
        QCOMPARE(p.line.ReadAll(), QByteArray::fromHex("1b5141300d"));  // step 2 alone
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send:    0"));
        Step(p);
        QCOMPARE(p.line.ReadAll(), QByteArray::fromHex("1b5141302e310d"));  // then step 3
    }

    void aLostPortComesBackUnderItsName()
    {
        VirtualFolder folder;
        PtyPair first;
        folder.Publish("sim0", first.path());
        const Panel p = MakePanel({}, folder.Services());
        QCOMPARE(PortIcon(*p), IDI_PORT_OPEN);
        ChooseLanguage(*p, true);
        Click(*p, IDC_AUTO);
        Step(p);
        QCOMPARE(first.ReadAll(), QByteArray::fromHex("0c"));
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send:    Clear"));

        // The display ends: the step in the gap fails, the run goes on.
        first.CloseMaster();
        Step(p);
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send: Failed"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("Runtime: 0:0:2"));
        folder.Unpublish("sim0");
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*p), IDI_PORT_CLOSED, 5000);
        QCOMPARE(PortTip(*p), QStringLiteral("sim0: disconnected, waiting for it to come back"));

        // It starts again under its name, on a new terminal: the next step goes there.
        PtyPair second;
        folder.Publish("sim0", second.path());
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*p), IDI_PORT_OPEN, 5000);
        QCOMPARE(EnabledActions(*p), QStringLiteral("---A"));
        Step(p);
        QCOMPARE(second.ReadAll(), QByteArray::fromHex("1b5141302e310d"));  // step 3
        QCOMPARE(UpperStatus(*p), QStringLiteral("Send:    0.1"));
        QCOMPARE(LowerStatus(*p), QStringLiteral("Runtime: 0:0:3"));
    }
};

QTEST_MAIN(AutoDisplayTest)
#include "auto_display_test.moc"
