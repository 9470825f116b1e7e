// The test panel as a user drives it: the real widget tree offscreen, pseudo-terminals as
// the serial ports.

#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "panel/fit_width_validator.h"
#include "tests/support/device_server.h"
#include "tests/support/heard_log.h"
#include "tests/support/virtual_folder.h"
#include "serial/serial_port.h"

using namespace harness;

namespace {

// This process as the system names a port's holder: "name (pid N)".
QString ThisProcess()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("<no /proc/self/comm>");
    return QString::fromUtf8(comm.readAll().trimmed()) + QStringLiteral(" (pid %1)").arg(getpid());
}

// Scrolling and Flickering as they go out, written out by hand: Clear, the command, the
// default text and the end of the message.
const char* const kScrollingHex = "0c1b514431323334353637380d";
const char* const kFlickeringHex = "0c1b45051b5141382e382e382e382e382e382e382e382e0d";
const QByteArray kScrolling = QByteArray::fromHex(kScrollingHex);
const QByteArray kFlickering = QByteArray::fromHex(kFlickeringHex);

// What a click on the button puts on the line.
QByteArray SentOnClick(const CDisplayTestDlg& dlg, int button, const PtyPair& line)
{
    Click(dlg, button);
    return line.ReadAll();
}

// The port lamp and the four actions as shown: "open SDFA", "closed ----".
QString LampAndActions(const CDisplayTestDlg& dlg)
{
    return (PortIcon(dlg) == IDI_PORT_OPEN ? QStringLiteral("open ") : QStringLiteral("closed ")) + EnabledActions(dlg);
}

// What a screen reader reads for the port lamp: the port's state.
QString LampName(const CDisplayTestDlg& dlg)
{
    return QAccessible::queryAccessibleInterface(dlg.GetDlgItem(IDC_PORT_ICON))->text(QAccessible::Name);
}

// A button clicked after the lamp and the text were chosen, in a language, with the bytes
// and the status it must give. Texts in UTF-8.
struct Action {
    const char* name;
    int button;
    int lamp;
    const char* text;
    bool english;
    const char* hex;
    const char* status;
};

// What is typed into the network port dialog and how it is closed (a key, 0 for Cancel);
// the port that joins the list (none: "") and why OK waits (UTF-8; "" once it does not).
struct Typed {
    const char* row;
    bool english;
    int kind;  // 0 RFC 2217, 1 raw TCP
    const char* host;
    const char* port;
    int close;
    const char* joins;
    const char* why;
};

// The answers the port's thread gives late.
enum class LateAnswer { Open, TwoOpens, Write };

}  // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Typed)
Q_DECLARE_METATYPE(LateAnswer)

class PanelTest : public QObject {
    Q_OBJECT

private slots:
    void opensTheFirstPortAt2400Then9600()
    {
        PtyPair first, second;
        QVERIFY(first.ok() && second.ok());
        const Panel dlg = MakePanel({first.path(), second.path()});

        auto* port = Control<QComboBox>(*dlg, IDC_PORT);
        QCOMPARE(port->count(), 3);
        QCOMPARE(port->itemText(2), QStringLiteral("网络端口..."));
        QCOMPARE(port->currentText(), QString::fromStdString(first.path()));
        QCOMPARE(LampAndActions(*dlg), QStringLiteral("open SDFA"));
        QCOMPARE(PortTip(*dlg), QString::fromStdString(first.path()) + QStringLiteral("：已打开，2400 波特"));
        // What a screen reader says on reaching the lists beside their labels.
        const auto description = [&](int id) {
            return QAccessible::queryAccessibleInterface(dlg->GetDlgItem(id))->text(QAccessible::Description);
        };
        QCOMPARE(description(IDC_PORT), PortTip(*dlg));
        QCOMPARE(description(IDC_BAUD), QStringLiteral("2400"));

        termios tio{};
        QVERIFY(first.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B2400));
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(tio.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

        Choose(Control<QComboBox>(*dlg, IDC_BAUD), 1);
        QVERIFY(first.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
        QCOMPARE(LampAndActions(*dlg), QStringLiteral("open SDFA"));
        QCOMPARE(description(IDC_PORT), QString::fromStdString(first.path()) + QStringLiteral("：已打开，9600 波特"));
        QCOMPARE(description(IDC_BAUD), QStringLiteral("9600"));

        QCOMPARE(SentOnClick(*dlg, IDC_SCROLL, first), kScrolling);
    }

    void aPortHeldElsewhereIsTakenOnceReleased_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("the only port, at start") << false;
        QTest::newRow("chosen after another") << true;
    }
    void aPortHeldElsewhereIsTakenOnceReleased()
    {
        QFETCH(bool, chosen);
        PtyPair first, held;
        serial::CSerialPort otherProgram;
        QVERIFY(otherProgram.Open(held.path(), 9600));
        const Panel dlg = chosen ? MakePanel({first.path(), held.path()}) : MakePanel({held.path()});
        const auto lampPicture = [&] { return Control<QLabel>(*dlg, IDC_PORT_ICON)->pixmap().cacheKey(); };
        qint64 openLamp = 0;
        if (chosen) {
            QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);
            openLamp = lampPicture();
            Choose(Control<QComboBox>(*dlg, IDC_PORT), 1);
            QVERIFY(PortIsFree(first.path()));  // the port chosen before was given up, not kept
        }
        const QString inUse = QString::fromStdString(held.path()) + QStringLiteral("：已被 %1 占用").arg(ThisProcess());
        QCOMPARE(LampAndActions(*dlg), QStringLiteral("closed ----"));
        QCOMPARE(PortTip(*dlg), inUse);
        QCOMPARE(UpperStatus(*dlg), inUse);
        QCOMPARE(LowerStatus(*dlg), QStringLiteral("等待其释放"));
        QCOMPARE(LampName(*dlg), QString::fromStdString(held.path()) + QStringLiteral("：未打开"));
        ChooseLanguage(*dlg, true);
        QCOMPARE(LampName(*dlg), QString::fromStdString(held.path()) + QStringLiteral(": not open"));
        ChooseLanguage(*dlg, false);
        QVERIFY(dlg.retry->IsActive());
        dlg.retry->Fire();  // still held
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(UpperStatus(*dlg), inUse);

        otherProgram.Close();
        if (chosen) {  // choosing the port again opens it, as the next retry does
            Choose(Control<QComboBox>(*dlg, IDC_PORT), 0);
            QCOMPARE(lampPicture(), openLamp);  // the picture shown before, not one made afresh
            Choose(Control<QComboBox>(*dlg, IDC_PORT), 1);
        } else {
            dlg.retry->Fire();
        }
        QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);
        QVERIFY(!dlg.retry->IsActive());
        QCOMPARE(UpperStatus(*dlg), QString());
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("SDFA"));
    }

    void startsWithNoPortAndTheListFollowsTheVirtualPorts()
    {
        VirtualFolder folder;
        PtyPair line;
        const Panel dlg = MakePanel({}, folder.Services());
        auto* port = Control<QComboBox>(*dlg, IDC_PORT);
        QCOMPARE(port->count(), 1);  // a network port may still be named
        QCOMPARE(port->currentIndex(), -1);
        QCOMPARE(LampAndActions(*dlg), QStringLiteral("closed ----"));
        QCOMPARE(Control<QComboBox>(*dlg, IDC_BAUD)->currentText(), QStringLiteral("2400"));
        QCOMPARE(PortTip(*dlg), QStringLiteral("未找到串口"));
        QCOMPARE(UpperStatus(*dlg), QStringLiteral("未找到串口"));
        QCOMPARE(LowerStatus(*dlg), QStringLiteral("请连接显示屏或启动虚拟显示屏"));

        // A virtual display starts: its port is listed and opened, as at start.
        folder.Publish("sim0", line.path());
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*dlg), IDI_PORT_OPEN, 5000);
        QCOMPARE(port->currentText(), QStringLiteral("sim0"));
        QVERIFY(port->isEnabled());
        QCOMPARE(UpperStatus(*dlg), QString());
        QCOMPARE(LowerStatus(*dlg), QString());
        QCOMPARE(SentOnClick(*dlg, IDC_SEND, line),
                 QByteArray::fromHex("0c1b73301b5141382e382e382e382e382e382e382e382e0d"));

        // A second one comes: listed, the first stays chosen.
        PtyPair other;
        folder.Publish("sim1", other.path());
        QTRY_COMPARE_WITH_TIMEOUT(port->count(), 3, 5000);
        QCOMPARE(port->currentText(), QStringLiteral("sim0"));

        // Each entry says what it is, as display-send --list does.
        QCOMPARE(port->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("virtual display"));
        QCOMPARE(port->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("virtual display"));

        // The first ends: the panel says so, and the list keeps it in sight, marked away.
        folder.Unpublish("sim0");
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*dlg), IDI_PORT_CLOSED, 5000);
        QCOMPARE(port->count(), 3);
        QCOMPARE(port->itemText(0), QStringLiteral("sim1"));
        QCOMPARE(port->currentText(), QStringLiteral("sim0（未连接）"));
        QVERIFY(port->isEnabled());
        QCOMPARE(port->currentData(Qt::ToolTipRole).toString(), QStringLiteral("sim0：已断开，等待重新连接"));
        ChooseLanguage(*dlg, true);
        QCOMPARE(port->currentText(), QStringLiteral("sim0 (away)"));
        ChooseLanguage(*dlg, false);
        QCOMPARE(UpperStatus(*dlg), QStringLiteral("sim0：已断开"));
        QCOMPARE(LowerStatus(*dlg), QStringLiteral("等待重新连接"));
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("----"));
    }

    // The port's thread answers late, or out of order: an answer to a request the panel
    // has given up since changes nothing.
    void anAnswerGivenUpChangesNothing_data()
    {
        QTest::addColumn<LateAnswer>("late");
        QTest::newRow("opened, after the port left the list") << LateAnswer::Open;
        QTest::newRow("two opens after quick changes, answered last first") << LateAnswer::TwoOpens;
        QTest::newRow("a failed write and a hang-up, after the port came back") << LateAnswer::Write;
    }
    void anAnswerGivenUpChangesNothing()
    {
        QFETCH(LateAnswer, late);
        VirtualFolder folder;
        PtyPair first, second;
        panel::PanelServices services = folder.Services();
        services.watchFolders = std::vector<std::string>{};  // the test relists
        if (late != LateAnswer::Open)
            folder.Publish("sim0", first.path());
        const Panel p = MakePanel({}, std::move(services));
        p.port->Hold();

        if (late == LateAnswer::Open) {
            // A virtual display starts and ends before the port's thread answers.
            folder.Publish("sim0", first.path());
            p->Core().RefreshPorts();
            QVERIFY(p.port->WaitHeld(1));
            folder.Unpublish("sim0");
            p->Core().RefreshPorts();
            p.port->ReleaseLastFirst();
            QCOMPARE(PortIcon(*p), IDI_PORT_CLOSED);
            QCOMPARE(UpperStatus(*p), QStringLiteral("sim0：已断开"));
            QVERIFY(p.retry->IsActive());
            // It comes back: the retry opens it.
            p.port->Hold(false);
            folder.Publish("sim0", first.path());
            p.retry->Fire();
            QCOMPARE(PortIcon(*p), IDI_PORT_OPEN);
            QCOMPARE(SentOnClick(*p, IDC_SCROLL, first), kScrolling);
        } else if (late == LateAnswer::TwoOpens) {
            // A new baud rate, then at once a port held by another program.
            serial::CSerialPort otherProgram;
            QVERIFY(otherProgram.Open(second.path(), 2400));
            folder.Publish("sim1", second.path());
            p->Core().RefreshPorts();
            QTest::keyClick(Control<QComboBox>(*p, IDC_BAUD), Qt::Key_Down);
            QTest::keyClick(Control<QComboBox>(*p, IDC_PORT), Qt::Key_Down);
            QVERIFY(p.port->WaitHeld(2));
            QCOMPARE(p.port->Held(), QStringList({"opened", "opened"}));
            p.port->ReleaseLastFirst();
            QCOMPARE(PortIcon(*p), IDI_PORT_CLOSED);
            QCOMPARE(UpperStatus(*p), QStringLiteral("sim1：已被 %1 占用").arg(ThisProcess()));
            QVERIFY(p.retry->IsActive());
            QVERIFY(PortIsFree(first.path()));
        } else {
            // The display ends while a message is on its way, and starts again on a new
            // terminal; the failed write and the hang-up are answered only after the reopen.
            first.CloseMaster();
            QTest::mouseClick(Control<QPushButton>(*p, IDC_SCROLL), Qt::LeftButton);
            QVERIFY(p.port->WaitHeld(1));
            folder.Unpublish("sim0");
            p->Core().RefreshPorts();
            folder.Publish("sim0", second.path());
            p->Core().RefreshPorts();
            QTRY_VERIFY_WITH_TIMEOUT(p.port->Held().contains(QStringLiteral("opened")), 5000);
            p.port->Hold(false);
            p.port->ReleaseLastFirst();
            QCOMPARE(LampAndActions(*p), QStringLiteral("open SDFA"));
            QCOMPARE(UpperStatus(*p), QString());
            QCOMPARE(SentOnClick(*p, IDC_FLICKER, second), kFlickering);
        }
    }

    // Another program makes and removes a file every 20 ms where the panel looks for
    // virtual ports; a virtual display that starts meanwhile is still seen at once.
    void aBusyFolderHidesNoNewPort_data()
    {
        QTest::addColumn<bool>("inTheFolder");
        for (const bool inTheFolder : {false, true})
            QTest::newRow(inTheFolder ? "in the folder itself" : "in the parent of the folder not made yet")
                << inTheFolder;
    }
    void aBusyFolderHidesNoNewPort()
    {
        QFETCH(bool, inTheFolder);
        VirtualFolder folder(inTheFolder);
        PtyPair line;
        const Panel p = MakePanel({}, folder.Services());
        const std::string busy = (inTheFolder ? folder.PortFolder() : folder.Runtime()) + "/busy";
        QTimer churn;
        connect(&churn, &QTimer::timeout, [&] {
            if (!std::filesystem::remove(busy))
                std::ofstream{busy};
        });
        churn.start(20);
        folder.Publish("sim0", line.path());
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*p), IDI_PORT_OPEN, 1000);
        QCOMPARE(Control<QComboBox>(*p, IDC_PORT)->currentText(), QStringLiteral("sim0"));
    }

    // A write stalls: the window keeps answering. Closing abandons the write at once; a
    // new baud rate lets it finish if the line moves again, else ends it, and the display
    // gets a Clear once the port is open again, so that it is not left inside a command.
    void aStalledLineNeverHoldsTheWindow_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("status");
        QTest::newRow("the panel closes") << QStringLiteral("close") << QByteArray() << QString();
        QTest::newRow("a new baud rate, the line moves again")
            << QStringLiteral("moves") << kFlickering << QStringLiteral("发送: 闪烁");  // in the language of the click
        QTest::newRow("a new baud rate, the line stays stalled")
            << QStringLiteral("stays") << QByteArray::fromHex("0c") << QStringLiteral("发送: 失败");
    }
    void aStalledLineNeverHoldsTheWindow()
    {
        QFETCH(QString, then);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, status);
        const PanelOnLine dlg;
        QVERIFY(dlg.line.Stall());
        QTest::mouseClick(Control<QPushButton>(*dlg, IDC_FLICKER), Qt::LeftButton);
        QVERIFY(dlg->Core().Busy());  // the write waits on the line, not the window
        bool turned = false;
        QTimer::singleShot(0, [&] { turned = true; });
        QTRY_VERIFY_WITH_TIMEOUT(turned, 500);
        ChooseLanguage(*dlg, true);
        QCOMPARE(Caption(*dlg, IDC_SEND), QStringLiteral("Send Data(&S)"));
        QVERIFY(dlg->Core().Busy());

        if (then == QLatin1String("close")) {
            // Closing abandons the write and releases the port at once.
            QElapsedTimer closing;
            closing.start();
            dlg->reject();
            QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
            QVERIFY(PortIsFree(dlg.line.path()));
            QVERIFY(dlg.line.Resume());
            QCOMPARE(dlg.line.ReadAll(200), bytes);
            return;
        }
        // The port's thread has begun the write: a new choice now finds it under way.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.port->Progress() > 0, 5000);
        QTest::keyClick(Control<QComboBox>(*dlg, IDC_BAUD), Qt::Key_Down);  // 9600
        dlg.stall->Fire(false);          // the first look notes where the line stands
        QCOMPARE(dlg.port->cancels, 0);  // not yet: the line may move again
        if (then == QLatin1String("moves")) {
            QVERIFY(dlg.line.Resume());
            QVERIFY(Settle(*dlg));
            dlg.stall->Fire();
        } else {
            dlg.stall->Fire(false);  // a whole period without a byte taken
            QTRY_COMPARE_WITH_TIMEOUT(UpperStatus(*dlg), status, 5000);
            QVERIFY(dlg.line.Resume());
            QVERIFY(Settle(*dlg));
        }
        // On a loaded machine the reopen and its Clear may take a while.
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*dlg), IDI_PORT_OPEN, 5000);
        QCOMPARE(dlg.line.ReadAll(5000, 200), bytes);
        QCOMPARE(UpperStatus(*dlg), status);
        termios tio{};
        QVERIFY(dlg.line.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    }

    // The icon's tip and the status line say why the port is not open, in the language
    // chosen; a refusal of the serial layer itself comes with its reason.
    void theClosedIconSaysWhy_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("folderOpenToOthers");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        QTest::newRow("no such port") << QStringLiteral("/dev/pts/no-such-port") << false
                                      << QStringLiteral("/dev/pts/no-such-port: the port does not exist")
                                      << QStringLiteral("/dev/pts/no-such-port：端口不存在");
        QTest::newRow("a virtual port in a folder others may write to")
            << QStringLiteral("sim0") << true
            << QStringLiteral("sim0: not a serial port name (%1: other users may write to the folder)")
            << QStringLiteral("sim0：不是串口名称（%1: other users may write to the folder）");
        QTest::newRow("nothing listens at a network port")
            << QStringLiteral("tcp://127.0.0.1:1") << false << QStringLiteral("tcp://127.0.0.1:1: connection refused")
            << QStringLiteral("tcp://127.0.0.1:1：连接被拒绝");
    }
    void theClosedIconSaysWhy()
    {
        QFETCH(QString, port);
        QFETCH(bool, folderOpenToOthers);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        VirtualFolder folder;
        PtyPair line;
        if (folderOpenToOthers) {
            folder.Publish(port.toStdString(), line.path());
            std::filesystem::permissions(folder.PortFolder(), std::filesystem::perms::others_write,
                                         std::filesystem::perm_options::add);
        }
        english.replace(QStringLiteral("%1"), QString::fromStdString(folder.PortFolder()));
        chinese.replace(QStringLiteral("%1"), QString::fromStdString(folder.PortFolder()));
        const Panel dlg = MakePanel({port.toStdString()});
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        ChooseLanguage(*dlg, true);
        Choose(Control<QComboBox>(*dlg, IDC_BAUD), 1);  // a retry made in that language
        QCOMPARE(PortTip(*dlg), english);
        QCOMPARE(UpperStatus(*dlg), english);
        ChooseLanguage(*dlg, false);
        Choose(Control<QComboBox>(*dlg, IDC_BAUD), 0);
        QCOMPARE(PortTip(*dlg), chinese);
        QCOMPARE(UpperStatus(*dlg), chinese);
    }

    // Every action twice, in either language: the same bytes on every press, and a status
    // in the language chosen last that stays in it when the language changes afterwards.
    void eachActionPutsItsMessageOnTheLine_data()
    {
        QTest::addColumn<Action>("action");
        const int send = IDC_SEND;
        const Action actions[] = {
            {"Send Data, Price, 12.50", send, IDC_LAMP_PRICE, "12.50", false, "0c1b73311b514131322e35300d",
             "发送: 成功"},
            {"Send Data, All dark, empty", send, IDC_LAMP_OFF, "", true, "0c1b73301b51410d", "Send: Success"},
            {"Send Data, Total, default text", send, IDC_LAMP_TOTAL, "8.8.8.8.8.8.8.8.", false,
             "0c1b73321b5141382e382e382e382e382e382e382e382e0d", "发送: 成功"},
            {"Send Data, Change, double-byte characters", send, IDC_LAMP_CHANGE, "单价1", true,
             "0c1b73341b5141b5a5bcdb310d", "Send: Success"},
            {"Send Data, Collect, a character outside the code page", send, IDC_LAMP_COLLECT, "1\U0001F600", false,
             "0c1b73331b5141313f0d", "发送: 成功"},
            {"Send Data, All dark, control characters pasted", send, IDC_LAMP_OFF, "1\x1bs4\r9\t\n\x7f\u0085", true,
             "0c1b73301b5141317334390d", "Send: Success"},
            {"Scrolling, English", IDC_SCROLL, IDC_LAMP_CHANGE, "0", true, kScrollingHex, "Send: Scrolling"},
            {"Scrolling, Chinese", IDC_SCROLL, IDC_LAMP_CHANGE, "0", false, kScrollingHex, "发送: 滚动"},
            {"Flickering, English", IDC_FLICKER, IDC_LAMP_CHANGE, "0", true, kFlickeringHex, "Send: Flickering"},
            {"Flickering, Chinese", IDC_FLICKER, IDC_LAMP_CHANGE, "0", false, kFlickeringHex, "发送: 闪烁"},
        };
        for (const Action& action : actions)
            QTest::newRow(action.name) << action;
    }
    void eachActionPutsItsMessageOnTheLine()
    {
        QFETCH(Action, action);
        const bool english = action.english;
        const QString text = QString::fromUtf8(action.text);
        const QByteArray bytes = QByteArray::fromHex(action.hex);
        const QString status = QString::fromUtf8(action.status);
        const PanelOnLine dlg;
        ClickRadio(Control<QRadioButton>(*dlg, action.lamp));
        auto* data = Control<QLineEdit>(*dlg, IDC_DATA);
        data->selectAll();
        data->insert(text);  // as a paste does
        Control<QLineEdit>(*dlg, IDC_TIME_STATUS)->setText(QStringLiteral("Runtime: 0:0:5"));
        ChooseLanguage(*dlg, !english);
        ChooseLanguage(*dlg, english);
        for (int press = 0; press < 2; ++press)
            QCOMPARE(SentOnClick(*dlg, action.button, dlg.line), bytes);
        QCOMPARE(UpperStatus(*dlg), status);
        QCOMPARE(LowerStatus(*dlg), QString());
        ChooseLanguage(*dlg, !english);
        QCOMPARE(UpperStatus(*dlg), status);
    }

    void theDataEditReturnsToTheTextLastRead()
    {
        const PanelOnLine dlg;
        auto* data = Control<QLineEdit>(*dlg, IDC_DATA);
        data->setText(QStringLiteral("1.5"));
        QCOMPARE(SentOnClick(*dlg, IDC_SCROLL, dlg.line), kScrolling);  // Scrolling does not read the edit
        QCOMPARE(data->text(), QStringLiteral("8.8.8.8.8.8.8.8."));

        data->setText(QStringLiteral("12"));
        Click(*dlg, IDC_SEND);
        dlg.line.ReadAll();
        data->setText(QStringLiteral("34"));
        Click(*dlg, IDC_FLICKER);
        QCOMPARE(data->text(), QStringLiteral("12"));
    }

    void aLostPortSaysSo_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("english");
        QTest::newRow("Send Data, English") << IDC_SEND << true;
        QTest::newRow("Scrolling, Chinese") << IDC_SCROLL << false;
        QTest::newRow("Flickering, English") << IDC_FLICKER << true;
        QTest::newRow("nothing sent, Chinese") << 0 << false;
    }
    void aLostPortSaysSo()
    {
        QFETCH(int, button);
        QFETCH(bool, english);
        PanelOnLine dlg;
        ChooseLanguage(*dlg, english);
        dlg.line.CloseMaster();  // the far end of the line is gone
        if (button != 0)
            Click(*dlg, button);
        // Whether a write failed or the line hung up first, the port is shown lost, in
        // words and by its lamp; the words follow a switch of language.
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*dlg), IDI_PORT_CLOSED, 5000);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("----"));
        // A display killed outright leaves its link, and its folder tells nothing: the
        // retry looks at the list again, finds the port gone and shows it away.
        dlg.ports->clear();
        dlg.retry->Fire();
        const QString port = QString::fromStdString(dlg.line.path());
        for (const bool inEnglish : {english, !english}) {
            ChooseLanguage(*dlg, inEnglish);
            const auto in = [=](const char* en, const char* cn) { return QString::fromUtf8(inEnglish ? en : cn); };
            QCOMPARE(Control<QComboBox>(*dlg, IDC_PORT)->currentText(), port + in(" (away)", "（未连接）"));
            QCOMPARE(UpperStatus(*dlg), port + in(": disconnected", "：已断开"));
            QCOMPARE(LampName(*dlg), port + in(": disconnected", "：已断开"));
            QCOMPARE(LowerStatus(*dlg), in("Waiting for it to come back", "等待重新连接"));
            QCOMPARE(PortTip(*dlg), port + in(": disconnected, waiting for it to come back", "：已断开，等待重新连接"));
        }
    }

    // What a screen reader is told as the panel changes, once each: the result of each
    // action in the language it shows in, the port's state with its reason, the start and
    // the stop of the demonstration but not its steps; and which names or descriptions
    // changed meanwhile ("*": not looked at). %1 is the port.
    void eachChangeIsSaidOnce_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("renamed");
        QTest::newRow("Send Data twice") << QStringList{"send", "send"} << QStringList{"发送: 成功", "发送: 成功"}
                                         << QStringList{};
        QTest::newRow("Scrolling, then Flickering in English")
            << QStringList{"scroll", "english", "flicker"} << QStringList{"发送: 滚动", "Send: Flickering"}
            << QStringList{"*"};
        QTest::newRow("a demonstration of three steps")
            << QStringList{"auto", "tick", "tick", "tick", "auto"} << QStringList{"自动演示已开始", "自动演示已停止"}
            << QStringList{"IDC_AUTO"};
        QTest::newRow("9600 baud") << QStringList{"9600"} << QStringList{"%1：已打开，9600 波特"}
                                   << QStringList{"IDC_BAUD", "IDC_PORT", "IDC_PORT_ICON"};
        QTest::newRow("the display goes away, in English")
            << QStringList{"english", "lose"} << QStringList{"%1: disconnected, waiting for it to come back"}
            << QStringList{"*"};
    }
    void eachChangeIsSaidOnce()
    {
        QFETCH(QStringList, actions);
        QFETCH(QStringList, said);
        QFETCH(QStringList, renamed);
        HeardLog heard;
        PanelOnLine dlg;
        const QString port = QString::fromStdString(dlg.line.path());
        QCOMPARE(heard.said, QStringList{port + QStringLiteral("：已打开，2400 波特")});
        heard.Clear();
        const auto click = [&](int id) { return [&, id] { Click(*dlg, id); }; };
        const std::map<QString, std::function<void()>> act = {
            {"send", click(IDC_SEND)},
            {"scroll", click(IDC_SCROLL)},
            {"flicker", click(IDC_FLICKER)},
            {"auto", click(IDC_AUTO)},
            {"english", [&] { ChooseLanguage(*dlg, true); }},
            {"tick", [&] { dlg.clock->Advance(std::chrono::seconds(1)), dlg.timer->Fire(); }},
            {"9600", [&] { Choose(Control<QComboBox>(*dlg, IDC_BAUD), 1); }},
            {"lose",
             [&] { dlg.line.CloseMaster(), QTest::qWaitFor([&] { return PortIcon(*dlg) == IDI_PORT_CLOSED; }); }}};
        for (const QString& action : actions)
            act.at(action)();
        QCOMPARE(heard.said, said.replaceInStrings(QStringLiteral("%1"), port));
        QStringList changed = heard.renamed.values();
        changed.sort();
        if (renamed != QStringList{"*"})
            QCOMPARE(changed, renamed);
    }

    // The arrow keys move the choice within a group, round at its ends, as in a Windows
    // dialog: a language takes at once, a lamp is sent by the next Send Data only.
    void theArrowKeysMoveTheChoiceWithinAGroup_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("send");  // the caption of Send Data afterwards
        QTest::newRow("lamps, right") << IDC_LAMP_OFF << int(Qt::Key_Right) << IDC_LAMP_PRICE << "发送数据(&S)";
        QTest::newRow("lamps, left, round") << IDC_LAMP_OFF << int(Qt::Key_Left) << IDC_LAMP_CHANGE << "发送数据(&S)";
        QTest::newRow("lamps, down, round") << IDC_LAMP_CHANGE << int(Qt::Key_Down) << IDC_LAMP_OFF << "发送数据(&S)";
        QTest::newRow("languages, up") << IDC_LANG_CN << int(Qt::Key_Up) << IDC_LANG_EN << "Send Data(&S)";
        QTest::newRow("languages, down, round") << IDC_LANG_CN << int(Qt::Key_Down) << IDC_LANG_EN << "Send Data(&S)";
        // An access key chooses the button before it takes the focus, as a click does.
        QTest::newRow("Alt+4") << IDC_LAMP_OFF << int(Qt::ALT | Qt::Key_4) << IDC_LAMP_COLLECT << "发送数据(&S)";
        QTest::newRow("Alt+E") << IDC_LANG_CN << int(Qt::ALT | Qt::Key_E) << IDC_LANG_EN << "Send Data(&S)";
    }
    void theArrowKeysMoveTheChoiceWithinAGroup()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, to);
        const PanelOnLine dlg;
        dlg->show();  // an access key works in the active window
        QVERIFY(QTest::qWaitForWindowActive(dlg.dlg.get()));
        Click(*dlg, from);
        QTest::keyClick(Control<QRadioButton>(*dlg, from), Qt::Key(key & ~Qt::KeyboardModifierMask),
                        Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        QVERIFY(Control<QRadioButton>(*dlg, to)->isChecked());
        QVERIFY(!Control<QRadioButton>(*dlg, from)->isChecked());
        QCOMPARE(dlg->focusWidget(), dlg->GetDlgItem(to));
        QTEST(Caption(*dlg, IDC_SEND), "send");
        QCOMPARE(dlg.line.ReadAll(100), QByteArray());  // no lamp lit yet
    }

    // To a screen reader each control sits in the group box drawn around it, and the lamp
    // and language buttons are radio buttons. 0: the dialog itself.
    void eachControlSitsInTheGroupAroundIt_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("role");
        const int radio = QAccessible::RadioButton, picture = QAccessible::Graphic, text = QAccessible::EditableText;
        const std::tuple<int, int, int> rows[] = {{IDC_LAMP_OFF, IDC_GRP_LAMP, radio},
                                                  {IDC_LAMP_CHANGE, IDC_GRP_LAMP, radio},
                                                  {IDC_LANG_EN, IDC_GRP_LANG, radio},
                                                  {IDC_LANG_CN, IDC_GRP_LANG, radio},
                                                  {IDC_LOGO, IDC_GRP_LANG, picture},
                                                  {IDC_PORT_ICON, IDC_GRP_SETTING, picture},
                                                  {IDC_PORT, IDC_GRP_SETTING, QAccessible::ComboBox},
                                                  {IDC_LBL_BAUD, IDC_GRP_SETTING, QAccessible::StaticText},
                                                  {IDC_SEND_STATUS, IDC_STATIC, text},
                                                  {IDC_DATA, 0, text},
                                                  {IDC_SEND, 0, QAccessible::Button}};
        for (const auto& [id, group, role] : rows)
            QTest::newRow(ControlSymbol(id).data()) << id << group << role;
    }
    void eachControlSitsInTheGroupAroundIt()
    {
        QFETCH(int, id);
        QFETCH(int, group);
        const Panel dlg = MakePanel({});
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(dlg->GetDlgItem(id));
        QTEST(int(face->role()), "role");
        QObject* box = group > 0 ? dlg->GetDlgItem(group) : dlg.dlg.get();
        for (auto* frame : dlg->findChildren<QGroupBox*>())
            box = group == IDC_STATIC && frame->title().isEmpty() ? frame : box;
        QCOMPARE(face->parent()->object(), box);
    }

    // A right click anywhere but on the data field offers the About entry; the status
    // lines keep their Copy beside it.
    void aRightClickOffersTheAboutEntry_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("about");
        QTest::addColumn<bool>("copy");
        QTest::newRow("the window") << 0 << true << false;
        QTest::newRow("port list") << IDC_PORT << true << false;
        QTest::newRow("baud list") << IDC_BAUD << true << false;
        QTest::newRow("upper status line") << IDC_SEND_STATUS << true << true;
        QTest::newRow("lower status line") << IDC_TIME_STATUS << true << true;
        QTest::newRow("port lamp") << IDC_PORT_ICON << true << false;
        QTest::newRow("lamp group") << IDC_GRP_LAMP << true << false;
        QTest::newRow("lamp radio button") << IDC_LAMP_PRICE << true << false;
        QTest::newRow("disabled button") << IDC_SEND << true << false;
        QTest::newRow("data field") << IDC_DATA << false << true;
    }
    void aRightClickOffersTheAboutEntry()
    {
        QFETCH(int, id);
        QFETCH(bool, about);
        QFETCH(bool, copy);
        int aboutBoxes = 0;
        panel::PanelServices services;
        services.runAboutBox = [&](QWidget*, res::Lang) { ++aboutBoxes; };
        const Panel dlg = MakePanel({}, std::move(services));  // no port: the buttons are disabled
        QWidget* target = id == 0 ? dlg.dlg.get() : dlg->GetDlgItem(id);
        QCOMPARE(target->isEnabled(), id != IDC_SEND);  // no port: the list offers a network port

        // The menu may run modally or pop up and return: either way it is read, its About
        // entry taken if there is one, and closed.
        QStringList entries;
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || seen)
                return;
            seen = true;
            QAction* aboutEntry = nullptr;
            for (QAction* action : menu->actions()) {
                entries << action->text().section(QLatin1Char('\t'), 0, 0);
                if (action->text() == QStringLiteral("关于 Ostrel(&A)..."))
                    aboutEntry = action;
            }
            menu->close();
            if (aboutEntry)
                aboutEntry->trigger();
        });
        poll.start(10);
        const QPoint pos(2, 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
        QApplication::sendEvent(target, &event);
        QTRY_VERIFY_WITH_TIMEOUT(seen, 5000);
        QCOMPARE(entries.contains(QStringLiteral("关于 Ostrel(&A)...")), about);
        QCOMPARE(aboutBoxes, about ? 1 : 0);
        QCOMPARE(entries.contains(QStringLiteral("&Copy")), copy);
    }

    void theDataEditTakesNoMoreThanItShows_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("pasted");
        QTest::newRow("digits into an empty edit") << QString() << 0 << QStringLiteral("1234567890").repeated(20);
        QTest::newRow("Chinese into an empty edit") << QString() << 0 << QStringLiteral("单价总计").repeated(20);
        QTest::newRow("into the middle") << QStringLiteral("8.8.8.8.8.8.8.8.") << 2
                                         << QStringLiteral("0.1").repeated(40);
        QTest::newRow("emoji pairs") << QString() << 0 << QStringLiteral("\U0001F600").repeated(60);
    }
    void theDataEditTakesNoMoreThanItShows()
    {
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, pasted);
        const Panel dlg = MakePanel({});
        auto* data = Control<QLineEdit>(*dlg, IDC_DATA);
        const auto* validator = qobject_cast<const panel::FitWidthValidator*>(data->validator());
        QVERIFY(validator);
        const int room = validator->VisibleTextWidth();
        const QFontMetrics fm(data->font());

        data->setText(before);
        data->setCursorPosition(cursor);
        data->insert(pasted);
        const QString text = data->text();
        QVERIFY(fm.horizontalAdvance(text) <= room);
        // As much as fits was taken, and what stood around the cursor stayed.
        QVERIFY(text.startsWith(before.left(cursor)));
        QVERIFY(text.endsWith(before.mid(cursor)));
        const QString taken = text.mid(cursor, text.size() - before.size());
        QVERIFY(pasted.startsWith(taken));
        const QString next = pasted.mid(taken.size(), pasted.at(taken.size()).isHighSurrogate() ? 2 : 1);
        QVERIFY(fm.horizontalAdvance(text + next) > room);

        // The next character is refused at the end too, and the first is still in sight.
        data->end(false);
        data->insert(next);
        QCOMPARE(data->text(), text);
        data->grab();  // lays the text out as it is shown
        data->setCursorPosition(0);
        QVERIFY(data->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() >= 0);
    }

    void aKeyThatDoesNotFitIsRefused()
    {
        const Panel dlg = MakePanel({});
        auto* data = Control<QLineEdit>(*dlg, IDC_DATA);
        data->clear();
        QTest::keyClicks(data, QStringLiteral("8.").repeated(60));
        const QString full = data->text();
        QVERIFY(!full.isEmpty() && full.size() < 120);
        QTest::keyClicks(data, QStringLiteral("8"));
        QCOMPARE(data->text(), full);
        QTest::keyClick(data, Qt::Key_Backspace);
        QTest::keyClicks(data, QStringLiteral("1"));
        QCOMPARE(data->text(), full.chopped(1) + QStringLiteral("1"));
    }

    void nothingOverlapsAndNoCaptionIsCut_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<bool>("running");
        for (const bool english : {false, true}) {
            for (const bool running : {false, true})
                QTest::addRow("%s%s", english ? "English" : "Chinese", running ? ", demonstration running" : "")
                    << english << running;
        }
    }
    void nothingOverlapsAndNoCaptionIsCut()
    {
        QFETCH(bool, english);
        QFETCH(bool, running);
        const PanelOnLine dlg;
        ChooseLanguage(*dlg, english);
        if (running)
            Click(*dlg, IDC_AUTO);

        const QRect client = dlg->rect();
        std::vector<QWidget*> solid;
        int radios = 0;
        for (QWidget* child : dlg->findChildren<QWidget*>()) {
            if (child->isWindow() || !child->property("controlId").isValid())
                continue;
            // In the dialog's terms, also inside a group box.
            const QRect geometry(child->mapTo(dlg.dlg.get(), QPoint(0, 0)), child->size());
            QVERIFY2(client.contains(geometry), qPrintable(child->objectName()));
            if (!qobject_cast<QGroupBox*>(child))
                solid.push_back(child);

            const QFontMetrics fm(child->font());
            if (auto* radio = qobject_cast<QRadioButton*>(child)) {
                QVERIFY2(radio->sizeHint().width() <= radio->width(), qPrintable(radio->text()));
                // The group boxes frame the radio buttons; they must not catch their clicks.
                QCOMPARE(dlg->childAt(radio->mapTo(dlg.dlg.get(), radio->rect().center())), radio);
                ++radios;
            } else if (auto* button = qobject_cast<QPushButton*>(child)) {
                QVERIFY2(fm.horizontalAdvance(QString(button->text()).remove('&')) + 8 <= button->width(),
                         qPrintable(button->text()));
            } else if (auto* box = qobject_cast<QGroupBox*>(child)) {
                QVERIFY2(box->minimumSizeHint().width() <= box->width(), qPrintable(box->title()));
            } else if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty()) {
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
                QVERIFY2(label->sizeHint().height() <= label->height(), qPrintable(label->text()));
            }
        }
        const auto inDialog = [&](QWidget* w) { return QRect(w->mapTo(dlg.dlg.get(), QPoint(0, 0)), w->size()); };
        for (std::size_t i = 0; i < solid.size(); ++i) {
            for (std::size_t j = i + 1; j < solid.size(); ++j) {
                QVERIFY2(!inDialog(solid[i]).intersects(inDialog(solid[j])),
                         qPrintable(solid[i]->objectName() + QStringLiteral(" / ") + solid[j]->objectName()));
            }
        }
        QCOMPARE(radios, 7);  // two languages, five lamps
    }

    // The network port dialog, over a panel with its port open, takes a port only once its
    // fields name one, saying why not meanwhile in the panel's language; each control has
    // a name. Enter and Escape close the dialog, not the panel; Escape and Cancel go back
    // to the port chosen before.
    void theNetworkDialogChecksWhatIsTyped_data()
    {
        QTest::addColumn<Typed>("typed");
        // Only ports on the loopback are taken: the panel opens what joins the list.
        const int enter = Qt::Key_Return, escape = Qt::Key_Escape, cancel = 0;
        const Typed rows[] = {
            {"RFC 2217, an address, Enter", false, 0, "127.0.0.1", "1", enter, "rfc2217://127.0.0.1:1", ""},
            {"raw TCP, Enter", true, 1, "127.0.0.1", "1", enter, "tcp://127.0.0.1:1", ""},
            {"IPv6, brackets added, Enter", false, 0, "::1", "1", enter, "rfc2217://[::1]:1", ""},
            {"a host name, Escape", false, 0, "till3", "4001", escape, "", ""},
            {"raw TCP, Cancel", true, 1, "10.0.0.7", "4001", cancel, "", ""},
            {"no host, Enter", true, 1, " ", "4001", enter, "", "Enter the device server's host name or address"},
            {"a space in the host", false, 0, "till 3", "4001", escape, "", "不是有效的主机名或地址"},
            {"port 70000", true, 0, "till3", "70000", enter, "", "The port number is from 1 to 65535"},
            {"port 0", false, 1, "till3", "0", enter, "", "端口号应在 1 到 65535 之间"},
        };
        for (const Typed& row : rows)
            QTest::newRow(row.row) << row;
    }
    void theNetworkDialogChecksWhatIsTyped()
    {
        QFETCH(Typed, typed);
        const bool english = typed.english;
        const int close = typed.close;
        const QString name = QString::fromUtf8(typed.joins);
        const QString why = QString::fromUtf8(typed.why);
        const PanelOnLine dlg;
        dlg->show();
        ChooseLanguage(*dlg, english);
        auto* ports = Control<QComboBox>(*dlg, IDC_PORT);
        Choose(ports, ports->count() - 1);
        const QPointer<panel::NetworkPortDlg> net = dlg->NetworkDialog();
        QVERIFY(net);
        QTRY_VERIFY(QApplication::activeWindow() == net);
        QTest::keyClick(net->KindBox(), typed.kind == 0 ? Qt::Key_Up : Qt::Key_Down);
        QTest::keyClicks(net->HostEdit(), QString::fromUtf8(typed.host));
        net->PortEdit()->clear();
        QTest::keyClicks(net->PortEdit(), QString::fromUtf8(typed.port));
        QCOMPARE(net->Why(), why);
        QCOMPARE(net->OkButton()->isEnabled(), why.isEmpty());
        for (QWidget* control : net->findChildren<QWidget*>()) {
            if (control->isVisible() && control->focusPolicy() != Qt::NoFocus)
                QVERIFY(!QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty());
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(net->HostEdit())->text(QAccessible::Name),
                 english ? QStringLiteral("Host") : QStringLiteral("主机"));

        if (close == 0)
            QTest::mouseClick(net->findChildren<QPushButton*>().at(1), Qt::LeftButton);  // OK, Cancel
        else  // as the window system hands a key on: to the window that has the focus
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key(close));
        QCOMPARE(net && net->isVisible(), !why.isEmpty() && close == Qt::Key_Return);  // OK is disabled
        if (net && net->isVisible())
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape);
        QVERIFY(!net || !net->isVisible());
        QVERIFY(dlg->isVisible());
        const std::string chosen = name.isEmpty() ? dlg.line.path() : name.toStdString();
        QCOMPARE(dlg->Core().ChosenPort(), chosen);
        QCOMPARE(ports->currentText(), QString::fromStdString(chosen));
        Relist(dlg, {});  // a port named stays in the list for this run
        QCOMPARE(dlg->Core().Ports().size(), name.isEmpty() ? 0u : 1u);
    }

    // A display behind a real device server, the panel started on its port: Alt+S puts the
    // message on the terminal, a choice of 9600 reaches the line where the panel sets the
    // rate, and a server killed and started again is reopened by the retry at that rate.
    void aDisplayBehindADeviceServer_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::addColumn<QString>("tip");  // %1 is HOST:PORT
        QTest::addColumn<int>("speed");    // of the line at start
        QTest::newRow("RFC 2217") << true << "RFC 2217 设备服务器 %1：已打开，2400 波特" << int(B2400);
        QTest::newRow("raw TCP, at the server's own rate")
            << false << "原始 TCP %1：已打开；波特率在设备服务器上设置" << int(B9600);
    }
    void aDisplayBehindADeviceServer()
    {
        QFETCH(bool, rfc2217);
        QFETCH(QString, tip);
        QFETCH(int, speed);
        if (!testing_support::HaveSer2net())
            QSKIP("no ser2net (scripts/setup.sh installs it)");
        using Server = testing_support::DeviceServer;
        PtyPair line;
        Server server(line.path(), rfc2217 ? Server::Accepter::Rfc2217 : Server::Accepter::RawTcp);
        panel::PanelServices services;
        services.startPort = server.Name();
        const Panel p = MakePanel({}, std::move(services));
        p->show();
        QVERIFY(QTest::qWaitForWindowActive(p.dlg.get()));
        QCOMPARE(PortIcon(*p), IDI_PORT_OPEN);
        QCOMPARE(PortTip(*p), tip.arg(QStringLiteral("127.0.0.1:%1").arg(server.Port())));
        termios tio{};
        QVERIFY(line.LineSettings(&tio));
        QCOMPARE(int(cfgetospeed(&tio)), speed);

        QTest::keyClick(p.dlg.get(), Qt::Key_S, Qt::AltModifier);  // the button shows its press first
        QTRY_COMPARE_WITH_TIMEOUT(UpperStatus(*p), QStringLiteral("发送: 成功"), 5000);
        QCOMPARE(line.ReadAll(5000, 200), QByteArray::fromHex("0c1b73301b5141382e382e382e382e382e382e382e382e0d"));
        Choose(Control<QComboBox>(*p, IDC_BAUD), 1);
        QVERIFY(line.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));

        server.Kill();
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*p), IDI_PORT_CLOSED, 5000);
        p.retry->Fire();  // refused while the server is away: still waiting
        QCOMPARE(UpperStatus(*p), QString::fromStdString(server.Name()) + QStringLiteral("：已断开"));
        server.Start();
        p.retry->Fire();
        QCOMPARE(PortIcon(*p), IDI_PORT_OPEN);
        QCOMPARE(SentOnClick(*p, IDC_SCROLL, line), kScrolling);
        QVERIFY(line.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    }
};

QTEST_MAIN(PanelTest)
#include "display_test_dlg_test.moc"
