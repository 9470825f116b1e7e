#pragma once
// Driving the test panel as a user does: the real widget tree offscreen, pseudo-terminals
// as the ports, and a clock and a timer that the test moves itself.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <chrono>
#include <memory>
#include <utility>

#include "panel/display_test_dlg.h"
#include "resources/resource_ids.h"

namespace harness {

using panel::CDisplayTestDlg;

// Ticks when the test says so, and only while started.
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
    void Fire()
    {
        if (m_active)
            Tick();
    }

private:
    bool m_active = false;
    std::chrono::milliseconds m_period{0};
};

// A monotonic clock that moves when the test moves it.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    void Advance(std::chrono::seconds by) { now += by; }
};

struct Panel {
    std::unique_ptr<CDisplayTestDlg> dlg;
    ManualTimer* timer = nullptr;  // owned by dlg
    std::shared_ptr<ManualClock> clock;

    CDisplayTestDlg* operator->() const { return dlg.get(); }
    CDisplayTestDlg& operator*() const { return *dlg; }
};

inline Panel MakePanel(std::vector<std::string> ports, panel::PanelServices services = {})
{
    Panel p;
    p.clock = std::make_shared<ManualClock>();
    auto timer = std::make_unique<ManualTimer>();
    p.timer = timer.get();
    services.listPorts = [ports] { return ports; };
    services.now = [clock = p.clock] { return clock->now; };
    services.timer = std::move(timer);
    p.dlg = std::make_unique<CDisplayTestDlg>(std::move(services));
    return p;
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
    while (combo->currentIndex() < index)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index)
        QTest::keyClick(combo, Qt::Key_Up);
}

// Clicks a button as a user does; a radio button on its indicator.
inline void Click(const CDisplayTestDlg& dlg, int id)
{
    if (auto* radio = Control<QRadioButton>(dlg, id))
        ClickRadio(radio);
    else
        QTest::mouseClick(Control<QPushButton>(dlg, id), Qt::LeftButton);
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
