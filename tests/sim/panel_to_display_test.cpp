// The panel drives the virtual display: the real panel offscreen, given the display's own
// pseudo-terminal as its only port, and the display reading what arrives. What the display
// shows afterwards is what a user would see on the device.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QDeadlineTimer>
#include <QtTest>

#include <poll.h>

#include <memory>

#include "panel/display_test_dlg.h"
#include "resources/resource_ids.h"
#include "protocol/display_commands.h"
#include "serial/display_line.h"
#include "sim/display_listener.h"
#include "sim/rendering.h"
#include "sim/segment_display.h"
#include "sim/sim_window.h"
#include "sim/state_line.h"
#include "tests/support/panel_harness.h"

using namespace sim;

using harness::Click;

class PanelToDisplayTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<serial::DisplayLine> m_line;
    std::unique_ptr<DisplayListener> m_display;
    harness::Panel m_panel;  // its demonstration's timer ticks when the test says so

    QString m_lastShown;

    // What the display shows once the panel's message has arrived: a click or a tick is
    // answered once the bytes have left, and the display may have read them while the
    // answer came. Waits for a state other than the one shown last, at most waitMs.
    QString Shown(int waitMs = 2000)
    {
        const QDeadlineTimer deadline(waitMs);
        for (;;) {
            pollfd p{m_line->WaitHandle(), POLLIN, 0};
            if (!deadline.hasExpired() && ::poll(&p, 1, 20) == 1) {  // more may follow: read until quiet
                m_display->ReadAvailable();
                continue;
            }
            const QString now = QString::fromStdString(StateLine(m_display->State()));
            if (now != m_lastShown || deadline.hasExpired()) {
                m_lastShown = now;
                return now;
            }
        }
    }

private slots:
    void init()
    {
        m_line = std::make_unique<serial::DisplayLine>();
        std::string error;
        QVERIFY2(m_line->OpenOwnLine(protocol::kDefaultBaud, &error), error.c_str());
        m_display = std::make_unique<DisplayListener>(*m_line);
        m_panel = harness::MakePanel({m_line->DevicePath()});
        m_lastShown = QString::fromStdString(StateLine(m_display->State()));
        QVERIFY(m_panel->GetDlgItem(IDC_SEND)->isEnabled());  // the port opened at start
    }
    void cleanup()
    {
        m_panel.dlg.reset();
        m_display.reset();
        m_line.reset();
    }

    // Each row: a lamp (0: none chosen) and a text entered, then the button clicked.
    void eachButton_data()
    {
        QTest::addColumn<int>("lamp");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("shown");
        QTest::newRow("12.50 with Price")
            << IDC_LAMP_PRICE << "12.50" << IDC_SEND << "[    12.50] lamps=Price mode=still";
        QTest::newRow("empty, all dark") << IDC_LAMP_OFF << "" << IDC_SEND << "[        ] lamps=none mode=still";
        QTest::newRow("Total") << IDC_LAMP_TOTAL << "7" << IDC_SEND << "[       7] lamps=Total mode=still";
        QTest::newRow("Collect") << IDC_LAMP_COLLECT << "100.00" << IDC_SEND << "[   100.00] lamps=Collect mode=still";
        QTest::newRow("Change") << IDC_LAMP_CHANGE << "0.1234567" << IDC_SEND << "[0.1234567] lamps=Change mode=still";
        QTest::newRow("the first eight points")
            << IDC_LAMP_PRICE << "8.8.8.8.8.8.8.8." << IDC_SEND << "[8.8.8.8.8.8.8.8.] lamps=Price mode=still";
        // Sent in the display's code page: the yuan sign is one character a digit cannot show.
        QTest::newRow("a Chinese character")
            << IDC_LAMP_PRICE << "12.5元" << IDC_SEND << "[    12.5 ] lamps=Price mode=still";
        QTest::newRow("scrolling") << 0 << "" << IDC_SCROLL << "[12345678] lamps=none mode=scrolling text=\"12345678\"";
        QTest::newRow("flickering") << 0 << "" << IDC_FLICKER << "[8.8.8.8.8.8.8.8.] lamps=none mode=flickering";
    }
    void eachButton()
    {
        QFETCH(int, lamp);
        QFETCH(QString, text);
        QFETCH(int, button);
        if (lamp)
            Click(*m_panel, lamp);
        qobject_cast<QLineEdit*>(m_panel->GetDlgItem(IDC_DATA))->setText(text);
        Click(*m_panel, button);
        QTEST(Shown(), "shown");
    }

    void oneActionAfterAnother()
    {
        // Each message begins with Clear, which leaves the lamp: the Price lamp lit by
        // Send Data stays on through Scrolling and Flickering.
        Click(*m_panel, IDC_LAMP_PRICE);
        qobject_cast<QLineEdit*>(m_panel->GetDlgItem(IDC_DATA))->setText(QStringLiteral("12.50"));
        Click(*m_panel, IDC_SEND);
        QCOMPARE(Shown(), QStringLiteral("[    12.50] lamps=Price mode=still"));
        Click(*m_panel, IDC_FLICKER);
        QCOMPARE(Shown(), QStringLiteral("[8.8.8.8.8.8.8.8.] lamps=Price mode=flickering"));
        Click(*m_panel, IDC_SCROLL);
        QCOMPARE(Shown(), QStringLiteral("[12345678] lamps=Price mode=scrolling text=\"12345678\""));
        Click(*m_panel, IDC_SEND);
        QCOMPARE(Shown(), QStringLiteral("[    12.50] lamps=Price mode=still"));
    }

    void autoDisplay()
    {
        // Flickering first: the demonstration's Clear ends it.
        Click(*m_panel, IDC_FLICKER);
        Shown();
        Click(*m_panel, IDC_AUTO);
        const char* const steps[] = {
            "[        ] lamps=none mode=still",            // 1 Clear
            "[       0] lamps=none mode=still",            // 2
            "[      0.1] lamps=none mode=still",           // 3
            "[     0.12] lamps=none mode=still",           // 4
            "[    0.123] lamps=none mode=still",           // 5
            "[   0.1234] lamps=none mode=still",           // 6
            "[  0.12345] lamps=none mode=still",           // 7
            "[ 0.123456] lamps=none mode=still",           // 8
            "[0.1234567] lamps=none mode=still",           // 9
            "[8.8.8.8.8.8.8.8] lamps=none mode=still",     // 10: no point after the last 8
            "[8.8.8.8.8.8.8.8] lamps=Price mode=still",    // 11
            "[8.8.8.8.8.8.8.8] lamps=Total mode=still",    // 12
            "[8.8.8.8.8.8.8.8] lamps=Collect mode=still",  // 13
            "[8.8.8.8.8.8.8.8] lamps=Change mode=still",   // 14
            "[        ] lamps=Change mode=still",          // 1 again: Clear leaves the lamp
            "[       0] lamps=Change mode=still",          // 2
        };
        int step = 0;
        for (const char* expected : steps) {
            ++step;
            m_panel.timer->Fire();
            const QString shown = Shown();
            QVERIFY2(shown == QLatin1String(expected), qPrintable(QStringLiteral("tick %1: ").arg(step) + shown));
        }
        // Stopped, the display keeps the last step.
        Click(*m_panel, IDC_AUTO);
        m_panel.timer->Fire();
        QCOMPARE(Shown(0), QStringLiteral("[       0] lamps=Change mode=still"));
    }

    void theWindowShowsIt()
    {
        SimWindow window(*m_display, QStringLiteral("sim0"));
        Click(*m_panel, IDC_LAMP_TOTAL);
        qobject_cast<QLineEdit*>(m_panel->GetDlgItem(IDC_DATA))->setText(QStringLiteral("-3.5"));
        Click(*m_panel, IDC_SEND);
        Shown();
        QCOMPARE(QString::fromStdString(CellsText(window.Face()->ShownCells())), QStringLiteral("     -3.5"));
        QVERIFY(window.Face()->ShownLamps()[static_cast<std::size_t>(Lamp::Total)]);
    }
};

QTEST_MAIN(PanelToDisplayTest)
#include "panel_to_display_test.moc"
