// The window of the virtual display, fed through its own pseudo-terminal the way a sender
// reaches it. The animation is driven by hand; nothing waits for a timer.
#include <QAccessible>
#include <QLabel>
#include <QTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

#include "protocol/display_commands.h"
#include "serial/display_line.h"
#include "sim/display_listener.h"
#include "tests/support/heard_log.h"
#include "tests/support/pty_pair.h"
#include "sim/rendering.h"
#include "sim/segment_display.h"
#include "serial/network_name.h"
#include "sim/sim_window.h"

using namespace sim;

class SimWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<serial::DisplayLine> m_port;
    std::unique_ptr<DisplayListener> m_listener;
    std::unique_ptr<SimWindow> m_window;
    serial::OwnedHandle m_client;

    // Writes as a sender would and lets the display read it.
    void Send(const QByteArray& bytes)
    {
        QCOMPARE(::write(m_client.get(), bytes.constData(), static_cast<size_t>(bytes.size())),
                 static_cast<ssize_t>(bytes.size()));
        pollfd p{m_port->WaitHandle(), POLLIN, 0};
        QVERIFY(::poll(&p, 1, 5000) == 1);
        m_listener->ReadAvailable();
    }
    QString Face() const { return QString::fromStdString(CellsText(m_window->Face()->ShownCells())); }
    QString Lamps() const
    {
        QStringList lit;
        for (int k = 0; k < kLampCount; ++k)
            if (m_window->Face()->ShownLamps()[static_cast<std::size_t>(k)])
                lit << LampName(static_cast<Lamp>(k));
        return lit.join(QLatin1Char(','));
    }
    void Tick(int n)
    {
        for (int i = 0; i < n; ++i)
            m_window->AdvanceAnimation();
    }

private slots:
    void init()
    {
        m_port = std::make_unique<serial::DisplayLine>();
        std::string error;
        QVERIFY2(m_port->OpenOwnLine(protocol::kDefaultBaud, &error), error.c_str());
        m_listener = std::make_unique<DisplayListener>(*m_port);
        m_window = std::make_unique<SimWindow>(*m_listener, QStringLiteral("sim0 (/dev/pts/0)"));
        m_client = serial::OwnedHandle(::open(m_port->DevicePath().c_str(), O_RDWR | O_NOCTTY));
        QVERIFY(m_client.valid());
    }
    void cleanup()
    {
        m_window.reset();
        m_listener.reset();
        m_client.reset();
        m_port.reset();
    }

    // Each row: the pieces the display reads one by one, then animation steps.
    void showsWhatArrives_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("face");
        QTest::addColumn<QString>("lamps");
        QTest::addColumn<bool>("animating");
        // What a screen reader is told, once per new text, lamp or mode, not per frame; the
        // face's name is the last of it.
        QTest::addColumn<QStringList>("said");
        QTest::newRow("send data 12.50 with Price") << QByteArrayList{"\x0c\x1bs1\x1bQA12.50\r"} << 0 << "    12.50"
                                                    << "Price" << false << QStringList{"Shows 12.50; lit: Price"};
        QTest::newRow("scrolling starts blank") << QByteArrayList{"\x0c\x1bQD12345678\r"} << 0 << "        "
                                                << "" << true << QStringList{"Shows 12345678, scrolling; lamps dark"};
        QTest::newRow("flickering starts lit")
            << QByteArrayList{"\x0c\x1b\x45\x05\x1bQA8.8.8.8.8.8.8.8.\r"} << 0 << "8.8.8.8.8.8.8.8."
            << "" << true << QStringList{"Shows 8.8.8.8.8.8.8.8., flickering; lamps dark"};
        QTest::newRow("change lamp") << QByteArrayList{"\x1bs4"} << 0 << "        "
                                     << "Change" << false << QStringList{"Blank; lit: Change"};
        // The lamps do not flicker.
        const QByteArray flicker("\x0c\x1b\x45\x05\x1bQA42\r\x1bs3");
        QTest::newRow("flickering turns dark")
            << QByteArrayList{flicker} << 2 << "        "
            << "Collect" << true << QStringList{"Shows 42, flickering; lit: Collect"};
        QTest::newRow("and back") << QByteArrayList{flicker} << 4 << "      42"
                                  << "Collect" << true << QStringList{"Shows 42, flickering; lit: Collect"};
        QTest::newRow("command cut between reads, half read") << QByteArrayList{"\x0c\x1bs1\x1bQA12"} << 0 << "        "
                                                              << "Price" << false << QStringList{"Blank; lit: Price"};
        QTest::newRow("command cut between reads, whole")
            << QByteArrayList{"\x0c\x1bs1\x1bQA12", ".50\r"} << 0 << "    12.50"
            << "Price" << false << QStringList{"Blank; lit: Price", "Shows 12.50; lit: Price"};
        QTest::newRow("the same again") << QByteArrayList{"\x1bQA7\r", "\x1bQA7\r"} << 0 << "       7"
                                        << "" << false << QStringList{"Shows 7; lamps dark"};
    }
    void showsWhatArrives()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QStringList, said);
        harness::HeardLog heard;
        for (const QByteArray& piece : pieces)
            Send(piece);
        QFETCH(int, ticks);
        Tick(ticks);
        QTEST(Face(), "face");
        QTEST(Lamps(), "lamps");
        QTEST(m_window->Animating(), "animating");
        QCOMPARE(heard.said, said);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(m_window->Face());
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), said.last());
        QVERIFY(face->state().focusable);
    }

    void scrollRunsRightToLeft()
    {
        Send(QByteArray("\x0c\x1bQD12345678\r"));
        Tick(1);
        QCOMPARE(Face(), QStringLiteral("       1"));
        Tick(7);
        QCOMPARE(Face(), QStringLiteral("12345678"));
        // A lamp lit meanwhile leaves the text where it is.
        Send(QByteArray("\x1bs2"));
        QCOMPARE(Face(), QStringLiteral("12345678"));
        QCOMPARE(Lamps(), QStringLiteral("Total"));
        Tick(1);
        QCOMPARE(Face(), QStringLiteral("2345678 "));
        // A new text starts from the beginning; Clear stops the animation.
        Send(QByteArray("\x1bQD9\r"));
        QCOMPARE(Face(), QStringLiteral("        "));
        Send(QByteArray("\x0c"));
        QVERIFY(!m_window->Animating());
    }

    void logShowsHexAndCommands()
    {
        Send(QByteArray("\x0c\x1bs1\x1bQA12.50\r"));
        const QString log = m_window->Log()->toPlainText();
        QVERIFY2(log.contains(QStringLiteral("  0C 1B 73 31 1B 51 41 31 32 2E 35 30 0D")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("Clear · Lamp Price · Show \"12.50\"")), qPrintable(log));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  0C")).match(log).hasMatch());

        Send(QByteArray(300, '\x07'));
        QVERIFY(m_window->Log()->toPlainText().contains(QStringLiteral("... (300 bytes)")));
    }

    // A flood of commands in one piece: its entry names the first few and counts the rest,
    // and each entry stays short whatever arrives.
    void floodMakesOneShortEntry()
    {
        Send(QByteArray(3000, '\x0c'));
        const QStringList lines = m_window->Log()->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].endsWith(QStringLiteral("0C 0C ... (3000 bytes)")), qPrintable(lines[0]));
        QCOMPARE(lines[0].count(QStringLiteral("0C")), 256);
        QCOMPARE(lines[1].trimmed(), QStringLiteral("Clear · Clear · Clear · Clear · Clear · Clear · Clear · Clear"
                                                    " ... (3000 commands)"));
    }

    // A message longer than the log is wide wraps under the text after the time.
    void wrappedLinesHangUnderTheText()
    {
        m_window->resize(500, 300);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Send(QByteArray("\x1bQA") + QByteArray(40, '1') + '\r');
        const QTextBlock first = m_window->Log()->document()->firstBlock();
        QVERIFY(first.layout()->lineCount() > 1);
        const qreal time = QFontMetricsF(m_window->Log()->font()).horizontalAdvance(QStringLiteral("00:00:00.000  "));
        QCOMPARE(first.layout()->lineAt(0).x(), 0.0);
        for (int i = 1; i < first.layout()->lineCount(); ++i)
            QCOMPARE(first.layout()->lineAt(i).x(), time);
    }

    // Like a terminal: at the bottom the log follows the newest entry, also once old
    // entries start to go; scrolled up, it stays on what the user reads.
    void logFollowsTheNewestOnlyAtTheBottom()
    {
        m_window->SetLogLines(40);
        m_window->resize(900, 300);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTextEdit* log = m_window->Log();
        QScrollBar* bar = log->verticalScrollBar();
        const auto text = [](int n) { return QByteArray("\x1bQA") + QByteArray::number(n) + '\r'; };
        const auto lastInView = [log] {
            return log->cursorForPosition(QPoint(0, log->viewport()->height() - 2)).block().text();
        };

        for (int n = 1; n <= 60; ++n)
            Send(text(n));  // fills the log, then drops old entries
        QCOMPARE(log->document()->blockCount(), 40);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY2(lastInView().contains(QStringLiteral("Show \"60\"")), qPrintable(lastInView()));

        bar->setValue(bar->maximum() / 2);
        const QString reading = log->cursorForPosition(QPoint(0, 0)).block().text();
        for (int n = 61; n <= 64; ++n)
            Send(text(n));
        QCOMPARE(log->cursorForPosition(QPoint(0, 0)).block().text(), reading);
        QVERIFY(bar->value() < bar->maximum());

        bar->setValue(bar->maximum());
        Send(text(65));
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY2(lastInView().contains(QStringLiteral("Show \"65\"")), qPrintable(lastInView()));
    }

    // The settings the sender put on the line, and what a display at 2400 would make of
    // what it sends.
    void showsTheSendersLineSettings_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("face");
        QTest::newRow("2400") << int(B2400) << "Sender's line: 2400 8N1"
                              << ""
                              << "       1";
        // A display at 2400 does not take what a sender at 9600 sends.
        QTest::newRow("9600") << int(B9600) << "Sender's line: 9600 8N1 — a display at 2400 8N1 would show garbage"
                              << "! sender at 9600 baud: a display at 2400 would show garbage; not shown"
                              << "        ";
    }
    void showsTheSendersLineSettings()
    {
        QFETCH(int, speed);
        termios tio{};
        QCOMPARE(::tcgetattr(m_client.get(), &tio), 0);
        ::cfsetspeed(&tio, static_cast<speed_t>(speed));
        QCOMPARE(::tcsetattr(m_client.get(), TCSANOW, &tio), 0);
        Send(QByteArray("\x1bQA1\r"));
        auto* label = m_window->findChild<QLabel*>(QStringLiteral("line"));
        QVERIFY(label);
        QTEST(label->text(), "label");
        QFETCH(QString, mark);
        const QString log = m_window->Log()->toPlainText();
        QCOMPARE(log.contains(QStringLiteral("! sender")), !mark.isEmpty());
        if (!mark.isEmpty())
            QVERIFY2(log.contains(mark), qPrintable(log));
        QTEST(Face(), "face");
        // SIM_WINDOW_PNG=/tmp/sim- leaves /tmp/sim-9600.png and so on, to look at.
        if (const QString png = qEnvironmentVariable("SIM_WINDOW_PNG"); !png.isEmpty()) {
            m_window->resize(1080, 300);
            QVERIFY(m_window->grab().save(png + QLatin1String(QTest::currentDataTag()) + QStringLiteral(".png")));
        }
    }

    // The window in Chinese: its words, the lamps' names as the panel has them, the log;
    // a text in the log as it came, in either language.
    void speaksTheLanguageItIsGiven_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QStringList>("words");  // title, port, lamps
        QTest::addColumn<QString>("log");
        QTest::newRow("English") << false
                                 << QStringList{"Virtual Customer Display — sim0",
                                                "Listening on sim0 (/dev/pts/0)",
                                                "Price",
                                                "Total",
                                                "Collect",
                                                "Change",
                                                "Received messages",
                                                "Shows .5; lit: Price"}
                                 << QStringLiteral("Clear · Lamp Price · Show \"中K.5\"");
        QTest::newRow("Chinese") << true << QStringList{"虚拟客户显示屏 — sim0",
                                                        "正在监听 sim0 (/dev/pts/0)",
                                                        "单价",
                                                        "总计",
                                                        "收款",
                                                        "找零",
                                                        "收到的消息",
                                                        "显示 .5；亮灯：单价"}
                                 << QStringLiteral("清屏 · 亮灯：单价 · 显示“中K.5”");
    }
    void speaksTheLanguageItIsGiven()
    {
        QFETCH(bool, chinese);
        QFETCH(QStringList, words);
        m_window = std::make_unique<SimWindow>(*m_listener, QStringLiteral("sim0 (/dev/pts/0)"),
                                               chinese ? Language::Chinese : Language::English);
        QCOMPARE(m_window->windowTitle(), words[0]);
        // Its icon is drawn for the small sizes a panel or a task list shows, not scaled down.
        for (const int size : {16, 24, 32, 48})
            QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(size, size)));
        QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("port"))->text(), words[1]);
        const auto& lamps = m_window->Face()->LampNames();
        QCOMPARE((QStringList{lamps[0], lamps[1], lamps[2], lamps[3]}), words.mid(2, 4));
        QCOMPARE(QAccessible::queryAccessibleInterface(m_window->Log())->text(QAccessible::Name), words[6]);
        Send(QByteArray("\x0c\x1bs1\x1bQA\xd6\xd0K.5\r"));  // 中 in GBK; K the digits cannot show
        QCOMPARE(Face(), QStringLiteral("       .5"));
        QCOMPARE(QAccessible::queryAccessibleInterface(m_window->Face())->text(QAccessible::Name), words[7]);
        QFETCH(QString, log);
        QVERIFY2(m_window->Log()->toPlainText().contains(log), qPrintable(m_window->Log()->toPlainText()));
    }

    // On raw TCP the sender's line cannot be seen; listening beyond this machine is warned of.
    void saysWhatTheNetworkHides_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("warning");
        QTest::newRow("English") << false << "Sender's line: not visible over raw TCP; this display reads 2400 8N1"
                                 << "Any machine that reaches 0.0.0.0 can drive this display";
        QTest::newRow("Chinese") << true << "发送方线路：原始 TCP 无法得知；本显示屏按 2400 8N1 读取"
                                 << "任何能访问 0.0.0.0 的计算机都能控制本显示屏";
    }
    void saysWhatTheNetworkHides()
    {
        QFETCH(bool, chinese);
        serial::DisplayLine port;
        std::string error;
        QVERIFY2(port.Listen({serial::NetworkPort::Kind::RawTcp, "127.0.0.1", 0}, 2400, &error), error.c_str());
        DisplayListener listener(port);
        SimWindow window(listener, QString::fromStdString(port.DevicePath()),
                         chinese ? Language::Chinese : Language::English);
        window.WarnOpenToOthers(QStringLiteral("0.0.0.0"));
        QTEST(window.findChild<QLabel*>(QStringLiteral("line"))->text(), "line");
        QTEST(window.findChild<QLabel*>(QStringLiteral("warning"))->text(), "warning");
    }

    void tellsWhenTheLineIsGone()
    {
        testing_support::PtyPair<> line;
        serial::DisplayLine port;
        std::string error;
        QVERIFY2(port.OpenDevice(line.path(), 2400, &error), error.c_str());
        DisplayListener listener(port);
        SimWindow window(listener, QStringLiteral("line"));
        line.CloseMaster();
        listener.ReadAvailable();
        auto* label = window.findChild<QLabel*>(QStringLiteral("port"));
        QVERIFY(label);
        QVERIFY2(label->text().contains(QStringLiteral("the line was closed")), qPrintable(label->text()));
    }
};

QTEST_MAIN(SimWindowTest)
#include "sim_window_test.moc"
