#pragma once
// Driving the test panel as a user does: the real widget tree offscreen, and a clock and a
// timer that the test moves itself. The ports: tests/support/virtual_folder.h on POSIX,
// wine-port-host's COM ports on Windows.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "panel/display_test_dlg.h"
#include "resources/resource_ids.h"

namespace harness {

using panel::CDisplayTestDlg;

// Until the port's thread has answered every open and write asked for, bounded.
inline bool Settle(const CDisplayTestDlg& dlg, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&] { return !dlg.Core().Busy(); }, timeoutMs);
}

// Settle for every panel there is.
inline void SettleAll()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dlg = qobject_cast<CDisplayTestDlg*>(window))
            Settle(*dlg);
    }
}

// Ticks when the test says so, and only while started; the tick's writes are answered
// before Fire returns.
class ManualTimer : public panel::StepTimer {
public:
    void Start(std::chrono::milliseconds period) override
    {
        m_active = true;
        m_period = period;
    }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }

    std::chrono::milliseconds Period() const { return m_period; }
    // One period passes: a tick if the timer runs.
    void Fire(bool settle = true)
    {
        if (m_active)
            Tick();
        if (settle)
            SettleAll();
    }

private:
    bool m_active = false;
    std::chrono::milliseconds m_period{0};
};

// The port as the program has it, on its own thread, with a gate on the way back: while
// the test holds, the answers wait here, to be let through in the order the test says.
class HeldPort : public panel::PortLink {
public:
    HeldPort()
    {
        connect(&m_port, &PortLink::opened, this, [this](quint64 r, bool ok, int kind, int os, const QString& text) {
            Pass("opened", [=, this] { emit opened(r, ok, kind, os, text); });
        });
        connect(&m_port, &PortLink::written, this,
                [this](quint64 r, quint32 result) { Pass("written", [=, this] { emit written(r, result); }); });
        connect(&m_port, &PortLink::lineLost, this,
                [this](quint64 r) { Pass("lost", [=, this] { emit lineLost(r); }); });
    }
    void Open(quint64 request, const QByteArray& portName, quint32 baudRate) override
    {
        m_port.Open(request, portName, baudRate);
    }
    void Close() override { m_port.Close(); }
    void Write(quint64 request, const QByteArray& hex) override { m_port.Write(request, hex); }
    void CancelWrites() override
    {
        ++cancels;
        m_port.CancelWrites();
    }
    quint64 Progress() const override { return m_port.Progress(); }
    void Shutdown() override
    {
        m_held.clear();
        m_port.Shutdown();
    }

    int cancels = 0;  // how often the panel ended the writes under way

    // From now on the answers wait; false lets them through again as they come.
    void Hold(bool hold = true) { m_holding = hold; }
    // Until this many answers wait, bounded.
    bool WaitHeld(std::size_t count)
    {
        return QTest::qWaitFor([&] { return m_held.size() >= count; }, 5000);
    }
    // The kinds of the answers that wait ("opened", "written", "lost"), in their order.
    QStringList Held() const
    {
        QStringList kinds;
        for (const Answer& answer : m_held)
            kinds << answer.kind;
        return kinds;
    }
    // Lets the answer at this place among those that wait through.
    void Release(int index)
    {
        const Answer answer = m_held.at(static_cast<std::size_t>(index));
        m_held.erase(m_held.begin() + index);
        answer.deliver();
    }
    // Lets the last answer that waits through, then the rest in their order.
    void ReleaseLastFirst()
    {
        Release(static_cast<int>(m_held.size()) - 1);
        while (!m_held.empty())
            Release(0);
    }

private:
    struct Answer {
        QString kind;
        std::function<void()> deliver;
    };
    void Pass(const char* kind, std::function<void()> deliver)
    {
        if (m_holding)
            m_held.push_back({QString::fromLatin1(kind), std::move(deliver)});
        else
            deliver();
    }

    panel::ThreadedPort m_port;
    bool m_holding = false;
    std::vector<Answer> m_held;
};

// A monotonic clock that moves when the test moves it.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    void Advance(std::chrono::seconds by) { now += by; }
};

struct Panel {
    std::unique_ptr<CDisplayTestDlg> dlg;
    ManualTimer* timer = nullptr;  // owned by dlg
    ManualTimer* retry = nullptr;  // owned by dlg: paces the reopening of a lost port
    ManualTimer* stall = nullptr;  // owned by dlg: looks whether an old write still moves
    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<std::vector<std::string>> ports;  // what the machine lists
    HeldPort* port = nullptr;                         // owned by dlg

    CDisplayTestDlg* operator->() const { return dlg.get(); }
    CDisplayTestDlg& operator*() const { return *dlg; }
};

// The panel on these ports, once it has opened the first. Unless the test names folders
// to watch, the port list changes only when the test says so (Relist). machinePorts: the
// panel lists and watches the machine's own ports, as the program does.
inline Panel MakePanel(std::vector<std::string> ports, panel::PanelServices services = {}, bool machinePorts = false)
{
    Panel p;
    p.clock = std::make_shared<ManualClock>();
    p.ports = std::make_shared<std::vector<std::string>>(std::move(ports));
    auto timer = std::make_unique<ManualTimer>();
    p.timer = timer.get();
    auto retry = std::make_unique<ManualTimer>();
    p.retry = retry.get();
    auto stall = std::make_unique<ManualTimer>();
    p.stall = stall.get();
    if (!services.listPorts && !machinePorts)
        services.listPorts = [list = p.ports] { return *list; };
    if (!services.watchFolders && !machinePorts)
        services.watchFolders = std::vector<std::string>{};
    services.now = [clock = p.clock] { return clock->now; };
    services.timer = std::move(timer);
    services.retryTimer = std::move(retry);
    services.stallTimer = std::move(stall);
    auto port = std::make_unique<HeldPort>();
    p.port = port.get();
    services.port = std::move(port);
    p.dlg = std::make_unique<CDisplayTestDlg>(std::move(services));
    Settle(*p.dlg);
    return p;
}

// The machine's ports change to these, and the panel takes notice.
inline void Relist(const Panel& p, std::vector<std::string> ports, bool settle = true)
{
    *p.ports = std::move(ports);
    p->Core().RefreshPorts();
    if (settle)
        Settle(*p);
}

template <class T>
T* Control(const CDisplayTestDlg& dlg, int id)
{
    return qobject_cast<T*>(dlg.GetDlgItem(id));
}

inline void ClickRadio(QRadioButton* radio)
{
    // On the indicator: a click in the middle of a wide radio button may miss its label.
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
}

inline void ChooseLanguage(const CDisplayTestDlg& dlg, bool english)
{
    ClickRadio(Control<QRadioButton>(dlg, english ? IDC_LANG_EN : IDC_LANG_CN));
}

// Moves the selection with the arrow keys, as a user does on a closed drop-down list.
inline void Choose(QComboBox* combo, int index)
{
    // At most one key per entry: a list that does not move (disabled, or no such entry)
    // ends the loop rather than hanging the test.
    for (int i = 0; i < combo->count() && combo->currentIndex() != index; ++i)
        QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    if (auto* dlg = qobject_cast<CDisplayTestDlg*>(combo->window()))
        Settle(*dlg);
}

// Clicks a button as a user does; a radio button on its indicator.
inline void Click(const CDisplayTestDlg& dlg, int id)
{
    if (auto* radio = Control<QRadioButton>(dlg, id))
        ClickRadio(radio);
    else
        QTest::mouseClick(Control<QPushButton>(dlg, id), Qt::LeftButton);
    Settle(dlg);
}

inline int PortIcon(const CDisplayTestDlg& dlg)
{
    return Control<QLabel>(dlg, IDC_PORT_ICON)->property("iconId").toInt();
}

inline QString PortTip(const CDisplayTestDlg& dlg)
{
    return Control<QLabel>(dlg, IDC_PORT_ICON)->toolTip();
}

// Which of Send Data, Scrolling, Flickering and Auto display are enabled, as "SDFA" with
// a '-' for each disabled one.
inline QString EnabledActions(const CDisplayTestDlg& dlg)
{
    const std::pair<int, char> actions[] = {{IDC_SEND, 'S'}, {IDC_SCROLL, 'D'}, {IDC_FLICKER, 'F'}, {IDC_AUTO, 'A'}};
    QString shown;
    for (const auto& [id, letter] : actions)
        shown += QLatin1Char(dlg.GetDlgItem(id)->isEnabled() ? letter : '-');
    return shown;
}

inline QString Caption(const CDisplayTestDlg& dlg, int id)
{
    return Control<QAbstractButton>(dlg, id)->text();
}

inline QString UpperStatus(const CDisplayTestDlg& dlg)
{
    return Control<QLineEdit>(dlg, IDC_SEND_STATUS)->text();
}

inline QString LowerStatus(const CDisplayTestDlg& dlg)
{
    return Control<QLineEdit>(dlg, IDC_TIME_STATUS)->text();
}

}  // namespace harness
