// The panel built for Windows, under Wine on the offscreen platform, with COM5 a
// pseudo-terminal of wine-port-host and display-sim.exe beside it: the bytes of its
// buttons and of the demonstration's steps, the port opened at 2400 8N1, the virtual
// display found and followed, and the language switch. CTest runs it with the
// Chinese ANSI code page (936, GBK).

#include <QFontInfo>
#include <QImage>
#include <qpa/qwindowsysteminterface.h>

#include <windows.h>

#include "tests/support/panel_harness.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/serial_comm.h"
#include "tests/wine/text_display.h"

namespace {

using harness::Click;
using harness::Control;

constexpr char kPort[] = "COM5";
constexpr int kArrivalMs = 5000;
constexpr int kQuietMs = 300;
constexpr DWORD kStartMs = 60000;  // a bound for a display that does not start, not a measurement

// The driver's device of COM5 in the registry's list of serial ports.
constexpr char kDevice[] = R"(\Device\Serial4)";

// The panel on COM5 alone, once it has opened it. Live: it lists and watches the
// prefix's ports as the program does.
harness::Panel MakePanel(bool live = false)
{
    return harness::MakePanel(live ? std::vector<std::string>{} : std::vector<std::string>{kPort}, {}, live);
}

// The line comes or goes, and with it its name in the registry, as a driver does.
bool Plug(bool in)
{
    if (!in)
        return wine_host::UnnameSerialPort(kDevice) && wine_host::Unplug(kPort);
    return wine_host::Plug(kPort) && wine_host::NameSerialPort(kDevice, kPort);
}

QByteArray Arrived(std::size_t count)
{
    const std::string bytes = wine_host::Read(kPort, count, kArrivalMs);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QByteArray ArrivedUntilQuiet()
{
    const std::string bytes = wine_host::ReadUntilQuiet(kPort, kQuietMs);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

class PanelWin32Test : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        if (!wine_host::Available())
            QSKIP("needs wine-port-host: without it a COM port here could be a real device");
        wine_host::RemoveSerialPortList();
    }
    void cleanup() { wine_host::RemoveSerialPortList(); }

    void opensCom5At2400EightNoneOne()
    {
        QCOMPARE(GetACP(), 936u);
        const harness::Panel p = MakePanel();
        const auto line = wine_host::Settings(kPort);
        QVERIFY(line.has_value());
        QCOMPARE(line->outputSpeed, 2400);
        QCOMPARE(line->dataBits, 8);
        QVERIFY(!line->parity);
        QVERIFY(!line->twoStopBits);
        QCOMPARE(ArrivedUntilQuiet(), QByteArray());
    }

    void theButtonsPutTheirBytesOnTheLine_data()
    {
        QTest::addColumn<int>("lamp");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("button");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Send Data, Price, 12.50") << IDC_LAMP_PRICE << QStringLiteral("12.50") << IDC_SEND
                                                 << QByteArray::fromHex("0c1b73311b514131322e35300d");
        QTest::newRow("Send Data, All dark, empty")
            << IDC_LAMP_OFF << QString() << IDC_SEND << QByteArray::fromHex("0c1b73301b51410d");
        QTest::newRow("Send Data, Change, GBK") << IDC_LAMP_CHANGE << QStringLiteral("单价1") << IDC_SEND
                                                << QByteArray::fromHex("0c1b73341b5141b5a5bcdb310d");
        QTest::newRow("Send Data, outside the code page") << IDC_LAMP_COLLECT << QStringLiteral("1\U0001F600")
                                                          << IDC_SEND << QByteArray::fromHex("0c1b73331b5141313f0d");
        QTest::newRow("Scrolling") << IDC_LAMP_OFF << QString() << IDC_SCROLL
                                   << QByteArray::fromHex("0c1b514431323334353637380d");
        QTest::newRow("Flickering") << IDC_LAMP_OFF << QString() << IDC_FLICKER
                                    << QByteArray::fromHex("0c1b45051b5141382e382e382e382e382e382e382e382e0d");
    }
    void theButtonsPutTheirBytesOnTheLine()
    {
        QFETCH(int, lamp);
        QFETCH(QString, text);
        QFETCH(int, button);
        QFETCH(QByteArray, bytes);
        const harness::Panel p = MakePanel();
        ArrivedUntilQuiet();
        Click(*p.dlg, lamp);
        auto* data = Control<QLineEdit>(*p.dlg, IDC_DATA);
        data->selectAll();
        data->insert(text);
        Click(*p.dlg, button);
        QCOMPARE(Arrived(static_cast<std::size_t>(bytes.size())), bytes);
        QCOMPARE(ArrivedUntilQuiet(), QByteArray());
    }

    // The typed number is drawn: the dialog's font must be one the machine has, or Latin
    // text lands outside the edit.
    void theDataEditShowsItsText()
    {
        const harness::Panel p = MakePanel();
        auto* data = Control<QLineEdit>(*p.dlg, IDC_DATA);
        data->setText(QStringLiteral("88888888"));
        const QImage shot = data->grab().toImage();
        int dark = 0;
        for (int y = shot.height() / 4; y < shot.height() * 3 / 4; ++y)
            for (int x = shot.width() / 4; x < shot.width() * 3 / 4; ++x)
                dark += qGray(shot.pixel(x, y)) < 128;
        QVERIFY2(dark > 20, qPrintable(QFontInfo(data->font()).family()));
    }

    void theDemonstrationsStepsFollowEachOther()
    {
        const harness::Panel p = MakePanel();
        ArrivedUntilQuiet();
        Click(*p.dlg, IDC_AUTO);
        QCOMPARE(ArrivedUntilQuiet(), QByteArray());  // the first step waits for a tick
        const char* const steps[] = {"0c", "1b5141300d", "1b5141302e310d", "1b5141302e31320d"};
        for (const char* hex : steps) {
            const QByteArray bytes = QByteArray::fromHex(hex);
            p.timer->Fire();
            QCOMPARE(Arrived(static_cast<std::size_t>(bytes.size())), bytes);
        }
        QCOMPARE(ArrivedUntilQuiet(), QByteArray());
    }

    void startsInChineseAndSwitchesToEnglish()
    {
        const harness::Panel p = MakePanel();
        QCOMPARE(Control<QPushButton>(*p.dlg, IDC_SEND)->text(), QStringLiteral("发送数据(&S)"));
        QCOMPARE(Control<QPushButton>(*p.dlg, IDC_SCROLL)->text(), QStringLiteral("滚动(&D)"));
        Click(*p.dlg, IDC_LANG_EN);
        QCOMPARE(Control<QPushButton>(*p.dlg, IDC_SEND)->text(), QStringLiteral("Send Data(&S)"));
        QCOMPARE(Control<QPushButton>(*p.dlg, IDC_SCROLL)->text(), QStringLiteral("Scrolling(&D)"));
        Click(*p.dlg, IDC_LANG_CN);
        QCOMPARE(Control<QPushButton>(*p.dlg, IDC_SEND)->text(), QStringLiteral("发送数据(&S)"));
    }

    // The entry the panel added to its system menu, command 16, opens the About box; every
    // other system command goes on to the window as before.
    void theSystemMenusAboutEntryOpensTheAboutBox_data()
    {
        QTest::addColumn<uint>("message");
        QTest::addColumn<quint64>("command");
        QTest::addColumn<bool>("about");
        QTest::newRow("About, 16") << uint(WM_SYSCOMMAND) << quint64(16) << true;
        QTest::newRow("About, low bits set by Windows") << uint(WM_SYSCOMMAND) << quint64(16 | 0xF) << true;
        QTest::newRow("Move") << uint(WM_SYSCOMMAND) << quint64(SC_MOVE) << false;
        QTest::newRow("Close") << uint(WM_SYSCOMMAND) << quint64(SC_CLOSE) << false;
        QTest::newRow("another entry, 32") << uint(WM_SYSCOMMAND) << quint64(32) << false;
        QTest::newRow("16, not from the system menu") << uint(WM_COMMAND) << quint64(16) << false;
    }
    void theSystemMenusAboutEntryOpensTheAboutBox()
    {
        QFETCH(uint, message);
        QFETCH(quint64, command);
        QFETCH(bool, about);
        int shown = 0;
        panel::PanelServices services;
        services.runAboutBox = [&shown](QWidget*, res::Lang) { ++shown; };
        const harness::Panel p = harness::MakePanel({kPort}, std::move(services));
        QVERIFY(p->windowHandle() != nullptr);
        MSG msg{};
        msg.hwnd = reinterpret_cast<HWND>(p->winId());
        msg.message = message;
        msg.wParam = static_cast<WPARAM>(command);
        qintptr result = -1;
        const bool handled =
            QWindowSystemInterface::handleNativeEvent(p->windowHandle(), "windows_generic_MSG", &msg, &result);
        QCOMPARE(handled, about);
        QCOMPARE(shown, 0);  // once the window has returned from the message
        QCoreApplication::processEvents();
        QCOMPARE(shown, about ? 1 : 0);
    }

    void aPortThatAppearsIsOpened()
    {
        QVERIFY(Plug(false));
        const harness::Panel p = MakePanel(true);
        auto* ports = Control<QComboBox>(*p.dlg, IDC_PORT);
        QCOMPARE(ports->count(), 1);  // the network port entry alone
        QVERIFY(!p.dlg->Core().PortOpen());
        QVERIFY(Plug(true));
        QTRY_VERIFY_WITH_TIMEOUT(p.dlg->Core().PortOpen(), 5000);
        QCOMPARE(ports->currentText(), QStringLiteral("COM5"));
        Click(*p.dlg, IDC_SCROLL);
        const QByteArray bytes = QByteArray::fromHex("0c1b514431323334353637380d");
        QCOMPARE(Arrived(static_cast<std::size_t>(bytes.size())), bytes);
    }

    void aLostPortComesBackDuringTheDemonstration()
    {
        QVERIFY(wine_host::NameSerialPort(kDevice, kPort));
        const harness::Panel p = MakePanel(true);
        QVERIFY(p.dlg->Core().PortOpen());
        Click(*p.dlg, IDC_AUTO);
        p.timer->Fire();
        QCOMPARE(Arrived(1), QByteArray::fromHex("0c"));

        // Unplugged: the list keeps it in sight, marked away; the port is shown lost, the
        // step in the gap fails.
        QVERIFY(Plug(false));
        QTRY_COMPARE_WITH_TIMEOUT(Control<QComboBox>(*p.dlg, IDC_PORT)->currentText(), QStringLiteral("COM5（未连接）"),
                                  5000);
        QVERIFY(!p.dlg->Core().PortOpen());
        p.timer->Fire();
        QCOMPARE(Control<QLineEdit>(*p.dlg, IDC_SEND_STATUS)->text(), QStringLiteral("发送: 失败"));

        // Back under its name: reopened, and the next step goes out on it.
        QVERIFY(Plug(true));
        QTRY_VERIFY_WITH_TIMEOUT(p.dlg->Core().PortOpen(), 5000);
        p.timer->Fire();
        const QByteArray step3 = QByteArray::fromHex("1b5141302e310d");
        QCOMPARE(Arrived(static_cast<std::size_t>(step3.size())), step3);
    }

    // display-sim.exe, the virtual display: listed before the COM ports from its folder
    // and opened; ended without a word, it is shown lost at once; a new display under the
    // same name is opened again.
    void aVirtualDisplayIsListedFirstAndFollowedUnderItsName()
    {
        QVERIFY(wine_host::NameSerialPort(kDevice, kPort));
        auto display = std::make_unique<wine_host::TextDisplay>(DISPLAY_SIM_EXE, kStartMs);
        QVERIFY2(display->banner.rfind("listening on sim0 (", 0) == 0, display->banner.c_str());
        const harness::Panel p = MakePanel(true);
        auto* ports = Control<QComboBox>(*p.dlg, IDC_PORT);
        QCOMPARE(ports->count(), 3);  // and the network port entry
        QCOMPARE(ports->itemText(0), QStringLiteral("sim0"));
        QCOMPARE(ports->itemText(1), QStringLiteral("COM5"));
        QTRY_VERIFY_WITH_TIMEOUT(p.dlg->Core().PortOpen(), kArrivalMs);
        QCOMPARE(ports->currentText(), QStringLiteral("sim0"));
        const std::string scrolling = "[12345678] lamps=none mode=scrolling text=\"12345678\"";
        Click(*p.dlg, IDC_SCROLL);
        QCOMPARE(display->ReadLine(kArrivalMs), std::optional(scrolling));
        QCOMPARE(ArrivedUntilQuiet(), QByteArray());

        // Killed, it leaves its file behind: only its pipe tells. The next retry finds
        // the name gone from the list and keeps it in sight, marked away.
        display->End(kArrivalMs);
        QTRY_VERIFY_WITH_TIMEOUT(!p.dlg->Core().PortOpen(), kArrivalMs);
        p.retry->Fire();
        QTRY_COMPARE_WITH_TIMEOUT(ports->currentText(), QStringLiteral("sim0（未连接）"), kArrivalMs);

        display = std::make_unique<wine_host::TextDisplay>(DISPLAY_SIM_EXE, kStartMs);
        QVERIFY2(display->banner.rfind("listening on sim0 (", 0) == 0, display->banner.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(p.dlg->Core().PortOpen(), kArrivalMs);
        QCOMPARE(ports->currentText(), QStringLiteral("sim0"));
        Click(*p.dlg, IDC_SCROLL);
        QCOMPARE(display->ReadLine(kArrivalMs), std::optional(scrolling));
    }
};

QTEST_MAIN(PanelWin32Test)
#include "panel_win32_test.moc"
