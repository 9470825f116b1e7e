// The test panel as a user drives it: the real widget tree offscreen, pseudo-terminals as
// the serial ports.

#include <QElapsedTimer>
#include <QGroupBox>
#include <QTimer>

#include "panel/fit_width_validator.h"
#include "tests/support/virtual_folder.h"
#include "serial/serial_port.h"

using namespace harness;

class PanelTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithNoPort()
    {
        const Panel dlg = MakePanel({});
        auto* port = Control<QComboBox>(*dlg, IDC_PORT);
        QCOMPARE(port->count(), 0);
        QVERIFY(!port->isEnabled());
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("----"));
        QCOMPARE(Control<QComboBox>(*dlg, IDC_BAUD)->currentText(), QStringLiteral("2400"));
        QCOMPARE(Control<QLabel>(*dlg, IDC_PORT_ICON)->toolTip(), QStringLiteral("未找到串口"));
    }

    void opensTheFirstPortAt2400Then9600()
    {
        PtyPair first, second;
        QVERIFY(first.ok() && second.ok());
        const Panel dlg = MakePanel({first.path(), second.path()});

        auto* port = Control<QComboBox>(*dlg, IDC_PORT);
        QCOMPARE(port->count(), 2);
        QCOMPARE(port->currentText(), QString::fromStdString(first.path()));
        QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("SDFA"));
        QCOMPARE(PortTip(*dlg), QString::fromStdString(first.path()) + QStringLiteral(": 已打开, 2400 波特"));

        termios tio{};
        QVERIFY(first.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B2400));
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(tio.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

        Choose(Control<QComboBox>(*dlg, IDC_BAUD), 1);
        QVERIFY(first.LineSettings(&tio));
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
        QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("SDFA"));

        Click(*dlg, IDC_SCROLL);
        QCOMPARE(first.ReadAll(), QByteArray::fromHex("0c1b514431323334353637380d"));
    }

    void aPortHeldElsewhereLeavesTheClosedState()
    {
        PtyPair first, second;
        serial::CSerialPort otherProgram;
        QVERIFY(otherProgram.Open(second.path(), 9600));
        const Panel dlg = MakePanel({first.path(), second.path()});
        QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);

        Choose(Control<QComboBox>(*dlg, IDC_PORT), 1);
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("----"));
        QCOMPARE(Control<QLabel>(*dlg, IDC_PORT_ICON)->toolTip(),
                 QString::fromStdString(second.path()) + QStringLiteral(": 已被其他程序占用"));

        // The port chosen before was given up, not kept.
        serial::CSerialPort probe;
        QVERIFY(probe.Open(first.path(), 2400));
        probe.Close();

        // Once the other program lets go, choosing the port again opens it.
        otherProgram.Close();
        Choose(Control<QComboBox>(*dlg, IDC_PORT), 0);
        Choose(Control<QComboBox>(*dlg, IDC_PORT), 1);
        QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("SDFA"));
    }

    void theListFollowsTheVirtualPorts()
    {
        VirtualFolder folder;
        PtyPair line;
        const Panel dlg = MakePanel({}, folder.Services());
        auto* port = Control<QComboBox>(*dlg, IDC_PORT);
        QCOMPARE(port->count(), 0);
        QCOMPARE(UpperStatus(*dlg), QStringLiteral("未找到串口"));
        QCOMPARE(LowerStatus(*dlg), QStringLiteral("请连接显示屏或启动虚拟显示屏"));

        // A virtual display starts: its port is listed and opened, as at start.
        folder.Publish("sim0", line.path());
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*dlg), IDI_PORT_OPEN, 5000);
        QCOMPARE(port->currentText(), QStringLiteral("sim0"));
        QVERIFY(port->isEnabled());
        QCOMPARE(UpperStatus(*dlg), QString());
        QCOMPARE(LowerStatus(*dlg), QString());
        Click(*dlg, IDC_SEND);
        QCOMPARE(line.ReadAll(), QByteArray::fromHex("0c1b73301b5141382e382e382e382e382e382e382e382e0d"));

        // A second one comes: listed, the first stays chosen.
        PtyPair other;
        folder.Publish("sim1", other.path());
        QTRY_COMPARE_WITH_TIMEOUT(port->count(), 2, 5000);
        QCOMPARE(port->currentText(), QStringLiteral("sim0"));

        // The first ends: it leaves the list and the panel says so.
        folder.Unpublish("sim0");
        QTRY_COMPARE_WITH_TIMEOUT(port->count(), 1, 5000);
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(UpperStatus(*dlg), QStringLiteral("sim0: 已断开"));
        QCOMPARE(LowerStatus(*dlg), QStringLiteral("等待重新连接"));
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("----"));
    }

    void aPortInUseIsTakenOnceReleased()
    {
        PtyPair line;
        serial::CSerialPort otherProgram;
        QVERIFY(otherProgram.Open(line.path(), 9600));
        const Panel dlg = MakePanel({line.path()});
        const QString inUse = QString::fromStdString(line.path()) + QStringLiteral(": 已被其他程序占用");
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(UpperStatus(*dlg), inUse);
        QCOMPARE(LowerStatus(*dlg), QStringLiteral("等待其释放"));
        QVERIFY(dlg.retry->IsActive());
        dlg.retry->Fire();  // still held
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(UpperStatus(*dlg), inUse);

        otherProgram.Close();
        dlg.retry->Fire();
        QCOMPARE(PortIcon(*dlg), IDI_PORT_OPEN);
        QVERIFY(!dlg.retry->IsActive());
        QCOMPARE(UpperStatus(*dlg), QString());
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("SDFA"));
    }

    void aStalledLineNeverHoldsTheWindow()
    {
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        QVERIFY(line.Stall());
        QTest::mouseClick(Control<QPushButton>(*dlg, IDC_FLICKER), Qt::LeftButton);
        QVERIFY(dlg->Core().Busy());  // the write waits on the line, not the window
        bool turned = false;
        QTimer::singleShot(0, [&] { turned = true; });
        QTRY_VERIFY_WITH_TIMEOUT(turned, 500);
        ChooseLanguage(*dlg, true);
        QCOMPARE(Caption(*dlg, IDC_SEND), QStringLiteral("Send Data(&S)"));
        QVERIFY(dlg->Core().Busy());

        // Closing abandons the write and releases the port at once.
        QElapsedTimer closing;
        closing.start();
        dlg->reject();
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QVERIFY(PortIsFree(line.path()));
        QVERIFY(line.Resume());
        QCOMPARE(line.ReadAll(200), QByteArray());
    }

    void theClosedIconSaysWhy_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("tip");
        QTest::newRow("English") << true << QStringLiteral("/dev/pts/no-such-port: the port does not exist");
        QTest::newRow("Chinese") << false << QStringLiteral("/dev/pts/no-such-port: 端口不存在");
    }
    void theClosedIconSaysWhy()
    {
        QFETCH(bool, english);
        QFETCH(QString, tip);
        const Panel dlg = MakePanel({"/dev/pts/no-such-port"});
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        ChooseLanguage(*dlg, english);
        Choose(Control<QComboBox>(*dlg, IDC_BAUD), 1);  // a retry made in that language
        QCOMPARE(Control<QLabel>(*dlg, IDC_PORT_ICON)->toolTip(), tip);
    }

    void sendDataPutsItsMessageOnTheLine_data()
    {
        QTest::addColumn<int>("lamp");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Price, 12.50") << IDC_LAMP_PRICE << QStringLiteral("12.50")
                                      << QByteArray::fromHex("0c1b73311b514131322e35300d");
        QTest::newRow("All dark, empty") << IDC_LAMP_OFF << QString() << QByteArray::fromHex("0c1b73301b51410d");
        QTest::newRow("Total, default text") << IDC_LAMP_TOTAL << QStringLiteral("8.8.8.8.8.8.8.8.")
                                             << QByteArray::fromHex("0c1b73321b5141382e382e382e382e382e382e382e382e0d");
        QTest::newRow("Change, double-byte characters")
            << IDC_LAMP_CHANGE << QStringLiteral("单价1") << QByteArray::fromHex("0c1b73341b5141b5a5bcdb310d");
        QTest::newRow("Collect, a character outside the code page")
            << IDC_LAMP_COLLECT << QStringLiteral("1\U0001F600") << QByteArray::fromHex("0c1b73331b5141313f0d");
    }
    void sendDataPutsItsMessageOnTheLine()
    {
        QFETCH(int, lamp);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        ClickRadio(Control<QRadioButton>(*dlg, lamp));
        auto* data = Control<QLineEdit>(*dlg, IDC_DATA);
        data->selectAll();
        data->insert(text);  // as a paste does
        Click(*dlg, IDC_SEND);
        QCOMPARE(line.ReadAll(), bytes);
    }

    void theDemonstrationsAreTheSameOnEveryPress_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Scrolling") << IDC_SCROLL << QByteArray::fromHex("0c1b514431323334353637380d");
        QTest::newRow("Flickering") << IDC_FLICKER
                                    << QByteArray::fromHex("0c1b45051b5141382e382e382e382e382e382e382e382e0d");
    }
    void theDemonstrationsAreTheSameOnEveryPress()
    {
        QFETCH(int, button);
        QFETCH(QByteArray, bytes);
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        for (int press = 0; press < 2; ++press) {
            Click(*dlg, button);
            QCOMPARE(line.ReadAll(), bytes);
        }
    }

    void statusTextsFollowTheLanguage_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("status");
        QTest::newRow("Send Data, English") << IDC_SEND << true << QStringLiteral("Send: Success");
        QTest::newRow("Send Data, Chinese") << IDC_SEND << false << QStringLiteral("发送: 成功");
        QTest::newRow("Scrolling, English") << IDC_SCROLL << true << QStringLiteral("Send: Scrolling");
        QTest::newRow("Scrolling, Chinese") << IDC_SCROLL << false << QStringLiteral("发送: 滚动");
        QTest::newRow("Flickering, English") << IDC_FLICKER << true << QStringLiteral("Send: Flickering");
        QTest::newRow("Flickering, Chinese") << IDC_FLICKER << false << QStringLiteral("发送: 闪烁");
    }
    void statusTextsFollowTheLanguage()
    {
        QFETCH(int, button);
        QFETCH(bool, english);
        QFETCH(QString, status);
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        ClickRadio(Control<QRadioButton>(*dlg, IDC_LAMP_CHANGE));
        Control<QLineEdit>(*dlg, IDC_DATA)->setText(QStringLiteral("0"));
        Control<QLineEdit>(*dlg, IDC_TIME_STATUS)->setText(QStringLiteral("Runtime: 0:0:5"));
        ChooseLanguage(*dlg, english);
        Click(*dlg, button);
        QCOMPARE(UpperStatus(*dlg), status);
        QCOMPARE(LowerStatus(*dlg), QString());
        QVERIFY(!line.ReadAll().isEmpty());
    }

    void aStatusKeepsTheLanguageItWasMadeIn()
    {
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        ChooseLanguage(*dlg, true);
        Click(*dlg, IDC_SEND);
        ChooseLanguage(*dlg, false);
        QCOMPARE(UpperStatus(*dlg), QStringLiteral("Send: Success"));
        Click(*dlg, IDC_SCROLL);
        QCOMPARE(UpperStatus(*dlg), QStringLiteral("发送: 滚动"));
    }

    void theDataEditReturnsToTheTextLastRead()
    {
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        auto* data = Control<QLineEdit>(*dlg, IDC_DATA);
        data->setText(QStringLiteral("1.5"));
        Click(*dlg, IDC_SCROLL);  // Scrolling does not read the edit
        QCOMPARE(data->text(), QStringLiteral("8.8.8.8.8.8.8.8."));
        QCOMPARE(line.ReadAll(), QByteArray::fromHex("0c1b514431323334353637380d"));

        data->setText(QStringLiteral("12"));
        Click(*dlg, IDC_SEND);
        line.ReadAll();
        data->setText(QStringLiteral("34"));
        Click(*dlg, IDC_FLICKER);
        QCOMPARE(data->text(), QStringLiteral("12"));
    }

    void aLostPortSaysSo_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("tip");
        QTest::newRow("Send Data, English") << IDC_SEND << true << QStringLiteral(": disconnected")
                                            << QStringLiteral("Waiting for it to come back")
                                            << QStringLiteral(": disconnected, waiting for it to come back");
        QTest::newRow("Scrolling, Chinese") << IDC_SCROLL << false << QStringLiteral(": 已断开")
                                            << QStringLiteral("等待重新连接") << QStringLiteral(": 已断开, 等待重新连接");
        QTest::newRow("Flickering, English") << IDC_FLICKER << true << QStringLiteral(": disconnected")
                                             << QStringLiteral("Waiting for it to come back")
                                             << QStringLiteral(": disconnected, waiting for it to come back");
        QTest::newRow("nothing sent, Chinese") << 0 << false << QStringLiteral(": 已断开")
                                               << QStringLiteral("等待重新连接") << QStringLiteral(": 已断开, 等待重新连接");
    }
    void aLostPortSaysSo()
    {
        QFETCH(int, button);
        QFETCH(bool, english);
        QFETCH(QString, upper);
        QFETCH(QString, lower);
        QFETCH(QString, tip);
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        ChooseLanguage(*dlg, english);
        line.CloseMaster();  // the far end of the line is gone
        if (button != 0)
            Click(*dlg, button);
        // Whether a write failed or the line hung up first, the port is shown lost, in
        // words and by its lamp.
        QTRY_COMPARE_WITH_TIMEOUT(PortIcon(*dlg), IDI_PORT_CLOSED, 5000);
        const QString port = QString::fromStdString(line.path());
        QCOMPARE(UpperStatus(*dlg), port + upper);
        QCOMPARE(LowerStatus(*dlg), lower);
        QCOMPARE(PortTip(*dlg), port + tip);
        QCOMPARE(PortIcon(*dlg), IDI_PORT_CLOSED);
        QCOMPARE(EnabledActions(*dlg), QStringLiteral("----"));
        // The words follow a switch of language.
        ChooseLanguage(*dlg, !english);
        QVERIFY(UpperStatus(*dlg) != port + upper);
        QVERIFY(UpperStatus(*dlg).startsWith(port + QStringLiteral(": ")));
    }

    void theDataEditTakesNoMoreThanItShows_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("pasted");
        QTest::newRow("digits into an empty edit") << QString() << 0 << QStringLiteral("1234567890").repeated(20);
        QTest::newRow("Chinese into an empty edit") << QString() << 0 << QStringLiteral("单价总计").repeated(20);
        QTest::newRow("into the middle") << QStringLiteral("8.8.8.8.8.8.8.8.") << 2 << QStringLiteral("0.1").repeated(40);
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
        QTest::newRow("Chinese") << false << false;
        QTest::newRow("English") << true << false;
        QTest::newRow("Chinese, demonstration running") << false << true;
        QTest::newRow("English, demonstration running") << true << true;
    }
    void nothingOverlapsAndNoCaptionIsCut()
    {
        QFETCH(bool, english);
        QFETCH(bool, running);
        PtyPair line;
        const Panel dlg = MakePanel({line.path()});
        ChooseLanguage(*dlg, english);
        if (running)
            Click(*dlg, IDC_AUTO);

        const QRect client = dlg->rect();
        std::vector<QWidget*> solid;
        for (QWidget* child : dlg->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child->isWindow())
                continue;
            QVERIFY2(client.contains(child->geometry()), qPrintable(child->objectName()));
            if (!qobject_cast<QGroupBox*>(child))
                solid.push_back(child);

            const QFontMetrics fm(child->font());
            if (auto* radio = qobject_cast<QRadioButton*>(child)) {
                QVERIFY2(radio->sizeHint().width() <= radio->width(), qPrintable(radio->text()));
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
        for (std::size_t i = 0; i < solid.size(); ++i) {
            for (std::size_t j = i + 1; j < solid.size(); ++j) {
                QVERIFY2(!solid[i]->geometry().intersects(solid[j]->geometry()),
                         qPrintable(solid[i]->objectName() + QStringLiteral(" / ") + solid[j]->objectName()));
            }
        }
    }

    void aClickOnARadioButtonReachesIt()
    {
        // The group boxes frame the radio buttons; they must not catch their clicks.
        const Panel dlg = MakePanel({});
        for (int id : {IDC_LANG_EN, IDC_LANG_CN, IDC_LAMP_OFF, IDC_LAMP_PRICE, IDC_LAMP_TOTAL, IDC_LAMP_COLLECT,
                       IDC_LAMP_CHANGE}) {
            QWidget* radio = dlg->GetDlgItem(id);
            QCOMPARE(dlg->childAt(radio->geometry().center()), radio);
        }
    }
};

QTEST_MAIN(PanelTest)
#include "display_test_dlg_test.moc"
