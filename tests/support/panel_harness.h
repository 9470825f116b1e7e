#pragma once
// Driving the test panel as a user does: the real widget tree offscreen, pseudo-terminals
// as the ports, and a clock and a timer that the test moves itself.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <unistd.h>
#include <memory>
#include <utility>

#include "panel/display_test_dlg.h"
#include "resources/resource_ids.h"
#include "serial/port_discovery.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/virtual_port.h"
#include "tests/support/pty_pair.h"

namespace harness {

using panel::CDisplayTestDlg;
using PtyPair = testing_support::PtyPair<QByteArray>;

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

// A monotonic clock that moves when the test moves it.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    void Advance(std::chrono::seconds by) { now += by; }
};

struct Panel {
    std::unique_ptr<CDisplayTestDlg> dlg;
    ManualTimer* timer = nullptr;  // owned by dlg
    ManualTimer* retry = nullptr;  // owned by dlg: paces the reopening of a lost port
    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<std::vector<std::string>> ports;  // what the machine lists

    CDisplayTestDlg* operator->() const { return dlg.get(); }
    CDisplayTestDlg& operator*() const { return *dlg; }
};

// A virtual-port folder of the test's own, where the test publishes pseudo-terminals as
// virtual displays do, and a machine without any other serial port.
class VirtualFolder {
public:
    // The runtime folder moves into the test's own, so that a port name such as "sim0"
    // can only mean a port published here.
    VirtualFolder()
        : m_oldRuntime(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", m_root.path().toLocal8Bit());
        m_roots.virtualDir = serial::DefaultVirtualPortDir();
        m_roots.sysClassTty = (m_root.path() + QStringLiteral("/sys")).toStdString();
        m_roots.devDir = (m_root.path() + QStringLiteral("/dev")).toStdString();
        for (const std::string& dir : {m_roots.virtualDir, m_roots.sysClassTty, m_roots.devDir})
            std::filesystem::create_directories(dir);
        std::filesystem::permissions(std::filesystem::path(m_roots.virtualDir).parent_path(),
                                     std::filesystem::perms::owner_all);
        std::filesystem::permissions(m_roots.virtualDir, std::filesystem::perms::owner_all);
    }
    VirtualFolder(const VirtualFolder&) = delete;
    VirtualFolder& operator=(const VirtualFolder&) = delete;

    // A display publishes the device under the name: it takes the name's lock, then
    // links the device (replacing whatever stood there).
    void Publish(const std::string& name, const std::string& device)
    {
        Unpublish(name);
        const int lock = ::open(serial::VirtualPortLockPath(m_roots.virtualDir, name).c_str(),
                                O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0 || !serial::LockVirtualPort(lock))
            qFatal("cannot lock the virtual port %s", name.c_str());
        m_locks[name] = lock;
        std::filesystem::create_symlink(device, m_roots.virtualDir + "/" + name);
    }
    // The display ends: its link goes, and its lock with it.
    void Unpublish(const std::string& name)
    {
        std::filesystem::remove(m_roots.virtualDir + "/" + name);
        if (const auto held = m_locks.find(name); held != m_locks.end()) {
            ::close(held->second);
            m_locks.erase(held);
        }
    }
    ~VirtualFolder()
    {
        for (const auto& [name, lock] : m_locks)
            ::close(lock);
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    }

    // The panel lists this machine's ports and follows the folder.
    panel::PanelServices Services() const
    {
        panel::PanelServices services;
        services.listPorts = [roots = m_roots] { return serial::DiscoverPorts(roots); };
        services.watchFolders = std::vector<std::string>{m_roots.virtualDir};
        return services;
    }

private:
    std::map<std::string, int> m_locks;  // name: its display's lock
    QByteArray m_oldRuntime;
    QTemporaryDir m_root;
    serial::DiscoveryRoots m_roots;
};

inline bool PortIsFree(const std::string& path)
{
    serial::CSerialPort probe;
    return probe.Open(path, 2400);
}

// The panel on these ports, once it has opened the first. Unless the test names folders
// to watch, the port list changes only when the test says so (Relist).
inline Panel MakePanel(std::vector<std::string> ports, panel::PanelServices services = {})
{
    Panel p;
    p.clock = std::make_shared<ManualClock>();
    p.ports = std::make_shared<std::vector<std::string>>(std::move(ports));
    auto timer = std::make_unique<ManualTimer>();
    p.timer = timer.get();
    auto retry = std::make_unique<ManualTimer>();
    p.retry = retry.get();
    if (!services.listPorts)
        services.listPorts = [list = p.ports] { return *list; };
    if (!services.watchFolders)
        services.watchFolders = std::vector<std::string>{};
    services.now = [clock = p.clock] { return clock->now; };
    services.timer = std::move(timer);
    services.retryTimer = std::move(retry);
    p.dlg = std::make_unique<CDisplayTestDlg>(std::move(services));
    Settle(*p.dlg);
    return p;
}

// The machine's ports change to these, and the panel takes notice.
inline void Relist(const Panel& p, std::vector<std::string> ports)
{
    *p.ports = std::move(ports);
    p->Core().RefreshPorts();
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
