#pragma once
// What the test panel does, without its widgets: the chosen port and why it is not open,
// the messages on their way to the display, the demonstration's step and clock, and the
// texts of the two status lines. The window only shows this state and forwards the
// user's actions; the port itself works on a thread of its own (PortWorker).

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panel/debounced_port_watch.h"
#include "panel/port_link.h"
#include "panel/port_requests.h"
#include "panel/step_timer.h"
#include "protocol/display_commands.h"
#include "resources/captions.h"
#include "serial/serial_port.h"

class QWidget;

namespace panel {

// What the panel takes from its surroundings; tests replace each of them.
struct PanelServices {
    // The port list entries, in the order the port combo shows them.
    // Unset: the serial ports of the machine.
    std::function<std::vector<std::string>()> listPorts;
    // What stands behind a port list entry, as display-send --list says it. Unset: the
    // machine's description of the port.
    std::function<std::string(const std::string&)> describePort;
    // Folders whose changes mean the port list may have changed. Unset: the machine's
    // device folder and virtual-port folder.
    std::optional<std::vector<std::string>> watchFolders;
    // Tells when the port list may have changed, and holds the ports its probe found,
    // which the machine's port list takes in. Unset: a watch on watchFolders.
    std::unique_ptr<DebouncedPortWatch> portWatch;
    // The monotonic clock of the demonstration's run time. Unset: std::chrono::steady_clock.
    std::function<std::chrono::steady_clock::time_point()> now;
    // The timer of the demonstration. Unset: a PreciseStepTimer.
    std::unique_ptr<StepTimer> timer;
    // Paces the attempts to reopen a port that went away or was in use, once a second.
    // Unset: a PreciseStepTimer.
    std::unique_ptr<StepTimer> retryTimer;
    // Paces the stall checks while a write to the port chosen before a new choice is under
    // way: a period in which the line took none of its bytes ends the write. Unset: a
    // PreciseStepTimer.
    std::unique_ptr<StepTimer> stallTimer;
    // The link to the port. Unset: the port on a thread of its own (ThreadedPort).
    std::unique_ptr<PortLink> port;
    // Shows the About box modally over the panel, in the panel's language. Unset: the
    // panel offers no About entry.
    std::function<void(QWidget* parent, res::Lang lang)> runAboutBox;
    // The port to choose at start (display-test --port), added to the port list for this
    // run where the machine does not list it. Empty: the first port listed.
    std::string startPort;
};

// The services given, with the machine's in place of each one left unset but the About
// box: made whole before the core that takes them, the port watch before the port list
// that reads its probe.
PanelServices WithMachineServices(PanelServices services);

class PanelCore : public QObject {
    Q_OBJECT
public:
    // Why the port is not open, or that it is.
    enum class PortState {
        Opening,  // asked for, no answer yet
        Open,
        NoneFound,     // the machine has no serial port
        Disconnected,  // it went away while open; waiting for it to come back
        OpenFailed,    // see OpenFailure()
    };

    // services: each one set (WithMachineServices); the core owns them.
    explicit PanelCore(PanelServices services, QObject* parent = nullptr);
    ~PanelCore() override;

    // Lists the ports and opens the first at the baud rate.
    void Start(const QString& baud, res::Lang lang);
    // The user chose a port or a baud rate: close, then open again.
    void Connect(const std::string& portName, const QString& baud);
    // A port the user named (a network port) joins the list for this run, after the
    // machine's ports, and stays there whatever the machine lists.
    void AddPort(const std::string& portName);
    void SetLanguage(res::Lang lang);
    void SendData(protocol::Lamp lamp, const QString& text);
    void Scrolling();
    void Flickering();
    // Starts the demonstration with a step every period, or stops it while it runs.
    void ToggleAuto(std::chrono::milliseconds period);
    // Lists the ports again and follows what changed.
    void RefreshPorts();
    // Ends every write at once and releases the port; afterwards no request reaches the
    // port, and neither the port, the timers nor the port watch call on the core.
    void Shutdown();

    const std::vector<std::string>& Ports() const { return m_ports; }
    // The port the user chose; it stays chosen while it is away.
    const std::string& ChosenPort() const { return m_chosen; }
    PortState State() const { return m_state; }
    bool PortOpen() const { return m_state == PortState::Open; }
    bool AutoRunning() const { return m_autoRunning; }
    // Send Data, Scrolling and Flickering; the Auto display button.
    bool ActionsEnabled() const { return PortOpen() && !m_autoRunning; }
    bool AutoEnabled() const { return PortOpen() || m_autoRunning; }
    QString PortTip() const;
    // What a port list entry stands for, in the panel's language for a network port, as
    // display-send --list says it for the others.
    QString PortDescription(const std::string& portName) const;
    QString UpperStatus() const { return m_upper; }
    QString LowerStatus() const { return m_lower; }
    // Whether an open or a write has not been answered yet, wanted still or not.
    bool Busy() const { return m_requests.Busy(); }
    // The services the core works with, each one set.
    const PanelServices& Services() const { return m_services; }

signals:
    void portsChanged();
    // The port state, the status lines or the demonstration changed.
    void stateChanged();
    // A demonstration step was taken.
    void stepped();

private:
    void OnTimer();
    void OnRetry();
    void OnStallCheck();
    void OnOpened(quint64 request, bool ok, int failureKind, int osError, const QString& osMessage);
    void OnWritten(quint64 request, quint32 result);

    void AskConnect();
    // The machine's ports, then the ones added for this run.
    std::vector<std::string> ListPorts() const;
    void LosePort();
    void ShowPortReason();
    void SetUpper(const QString& text);
    // The one way a message reaches the port: queues the command string for the worker.
    void SendHex(std::string_view hex, PortRequests::Note note);
    void ManualAction(std::string_view hex, res::Text success);
    // Whether the chosen port is away for a transient reason.
    bool WaitingForPort() const;
    QString Text(res::Text text) const;
    QString Text(res::Text text, res::Lang lang) const;

    PanelServices m_services;
    PortLink* m_port = nullptr;  // owned by m_services

    std::vector<std::string> m_ports;
    std::vector<std::string> m_added;  // named by the user for this run
    std::string m_chosen;
    QString m_baud = QString::number(protocol::kDefaultBaud);
    PortState m_state = PortState::Opening;
    serial::OpenFailure m_failure;
    PortRequests m_requests;
    QString m_holder;  // the program holding the port, when in use and the system says

    res::Lang m_lang = res::Lang::Chinese;
    QString m_upper;
    bool m_upperIsPortReason = false;  // both lines say why no port is open; re-made on a switch
    QString m_lower;

    bool m_autoRunning = false;
    int m_nStep = 1;
    std::chrono::steady_clock::time_point m_timeStart;
};

}  // namespace panel
