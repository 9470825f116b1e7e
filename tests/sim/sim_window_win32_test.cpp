// The virtual display's window on Windows, on the offscreen platform under Wine, fed
// through its own named pipe by clients that open it as a sender does: what it says of
// the sender's line, the face after each client, and the log's Chinese text.

#include <QLabel>
#include <QTextEdit>
#include <QtTest>

#include <windows.h>

#include "common/wide_text.h"
#include "serial/display_line.h"
#include "serial/native_handle.h"
#include "sim/display_listener.h"
#include "sim/segment_display.h"
#include "sim/sim_window.h"

namespace {

serial::OwnedHandle OpenClient(const std::string& path)
{
    HANDLE h = ::CreateFileW(wide_text::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return serial::OwnedHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

bool Write(const serial::OwnedHandle& client, const QByteArray& bytes)
{
    DWORD written = 0;
    return ::WriteFile(client.get(), bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr)
           && written == static_cast<DWORD>(bytes.size());
}

}  // namespace

class SimWindowWin32Test : public QObject {
    Q_OBJECT

private slots:
    void saysTheSendersLineCannotBeSeenInBothLanguages_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<QString>("line");
        QTest::newRow("en") << false
                            << QStringLiteral("Sender's line: not visible on Windows; this display reads 9600 8N1");
        QTest::newRow("zh") << true << QStringLiteral("发送方线路：Windows 上无法得知；本显示屏按 9600 8N1 读取");
    }
    void saysTheSendersLineCannotBeSeenInBothLanguages()
    {
        QFETCH(bool, chinese);
        QFETCH(QString, line);
        const sim::Language lang = chinese ? sim::Language::Chinese : sim::Language::English;
        serial::DisplayLine port;
        std::string error;
        QVERIFY2(port.OpenOwnLine(9600, &error), error.c_str());
        sim::DisplayListener listener(port);
        sim::SimWindow window(listener, QStringLiteral("sim0 (x)"), lang);
        const auto* label = window.findChild<QLabel*>(QStringLiteral("line"));
        QVERIFY(label);
        QVERIFY(label->isVisibleTo(&window));
        QCOMPARE(label->text(), line);
    }

    // Bytes wake the event loop as they come; a client that closes leaves the display
    // listening for the next, which the face follows.
    void showsWhatEachClientSends()
    {
        serial::DisplayLine port;
        std::string error;
        QVERIFY2(port.OpenOwnLine(2400, &error), error.c_str());
        sim::DisplayListener listener(port);
        sim::SimWindow window(listener, QStringLiteral("sim0 (x)"));
        const sim::SegmentDisplay* face = window.Face();
        QCOMPARE(face->accessibleName(), QStringLiteral("Blank; lamps dark"));
        {
            const serial::OwnedHandle client = OpenClient(port.DevicePath());
            QVERIFY(client.valid());
            QVERIFY(Write(client, "\x0c\x1bs1\x1bQA12.50\r"));
            QTRY_COMPARE(face->accessibleName(), QStringLiteral("Shows 12.50; lit: Price"));
        }
        // Until the display has seen the first go, the next is refused as busy.
        serial::OwnedHandle next;
        QTRY_VERIFY(next.valid() || (next = OpenClient(port.DevicePath())).valid());
        // 中 in GBK, which the log names as it came.
        QVERIFY(Write(next, "\x1bQA\xd6\xd0\r"));
        QTRY_COMPARE(face->accessibleName(), QStringLiteral("Blank; lit: Price"));
        QVERIFY2(window.Log()->toPlainText().contains(QStringLiteral("Show \"中\"")),
                 qPrintable(window.Log()->toPlainText()));
    }
};

QTEST_MAIN(SimWindowWin32Test)
#include "sim_window_win32_test.moc"
