#pragma once
// What the test panel does, without its widgets: the chosen port and why it is not open,
// the messages on their way to the display, the demonstration's step and clock, and the
// texts of the two status lines. The window only shows this state and forwards the
// user's actions; the port itself works on a thread of its own (PortWorker).

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panel/port_link.h"
#include "panel/step_timer.h"
#include "protocol/display_commands.h"
#include "resources/captions.h"
#include "serial/serial_port.h"

class QWidget;

namespace panel {

class DebouncedPortWatch;

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
    // The monotonic clock of the demonstration's run time. Unset: std::chrono::steady_clock.
    std::function<std::chrono::steady_clock::time_point()> now;
    // The timer of the demonstration. Unset: a PreciseStepTimer.
    std::unique_ptr<StepTimer> timer;
    // Paces the attempts to reopen a port that went away or was in use, once a second.
    // Unset: a PreciseStepTimer.
    std::unique_ptr<StepTimer> retryTimer;
    // Looks, while a write to the port chosen before a new choice is under way, whether
    // the line still takes its bytes; a period without ends the write. Unset: a
    // PreciseStepTimer.
    std::unique_ptr<StepTimer> stallTimer;
    // The road to the port. Unset: the port on a thread of its own (ThreadedPort).
    std::unique_ptr<PortLink> port;
    // Shows the About box modally over the panel, in the panel's language. Unset: the
    // panel offers no About entry.
    std::function<void(QWidget* parent, res::Lang lang)> runAboutBox;
};

class PanelCore : public QObject {
    Q_OBJECT
public:
    // Why the port is not open, or that it is.
    enum class PortState {
        Opening,       // asked for, no answer yet
        Open,
        NoneFound,     // the machine has no serial port
        Disconnected,  // it went away while open; waiting for it to come back
        OpenFailed,    // see OpenFailure()
    };

    explicit PanelCore(PanelServices& services, QObject* parent = nullptr);
    ~PanelCore() override;

    // Lists the ports and opens the first at the baud rate.
    void Start(const QString& baud, res::Lang lang);
    // The user chose a port or a baud rate: close, then open again.
    void Connect(const std::string& portName, const QString& baud);
    void SetLanguage(res::Lang lang);
    void SendData(protocol::Lamp lamp, const QString& text);
    void Scrolling();
    void Flickering();
    // Starts the demonstration with a step every period, or stops it while it runs.
    void ToggleAuto(std::chrono::milliseconds period);
    // Lists the ports again and follows what changed.
    void RefreshPorts();
    // Ends every write at once and releases the port; the core does nothing afterwards.
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
    QString UpperStatus() const { return m_upper; }
    QString LowerStatus() const { return m_lower; }
    // Whether an open or a write has not been answered yet, wanted still or not.
    bool Busy() const { return m_unanswered > 0; }

signals:
    void portsChanged();
    // The port state, the status lines or the demonstration changed.
    void stateChanged();
    // A demonstration step was taken.
    void stepped();

private:
    // What a write was for, to say how it went when its answer comes.
    struct PendingWrite {
        res::Text success;  // the status text when it went out
        bool step;          // a demonstration step: prefix "Send:" before the label
        res::Lang lang;     // the language at the time of the click or tick
        quint64 request = 0;
        quint64 line = 0;   // the open request of the line it went to
    };

    void OnTimer();
    void OnRetry();
    void OnStallCheck();
    void OnOpened(quint64 request, bool ok, int failureKind, int osError, const QString& osMessage);
    void OnWritten(quint64 request, quint32 result);

    void AskConnect();
    void LosePort();
    void ShowPortReason();
    void SetUpper(const QString& text);
    // The one road to the port: queues the command string for the worker.
    void SendHex(std::string_view hex, PendingWrite pending);
    void ManualAction(std::string_view hex, res::Text success);
    // Whether the chosen port is away for a reason that passes by itself.
    bool WaitingForPort() const;
    QString Text(res::Text text) const;
    QString Text(res::Text text, res::Lang lang) const;

    PanelServices& m_services;
    PortLink* m_port = nullptr;  // owned by m_services
    DebouncedPortWatch* m_watcher = nullptr;

    std::vector<std::string> m_ports;
    std::string m_chosen;
    QString m_baud = QString::number(protocol::kDefaultBaud);
    PortState m_state = PortState::Opening;
    serial::OpenFailure m_failure;
    quint64 m_lastRequest = 0;  // the number of the last request to the port
    int m_unanswered = 0;       // requests to the port not answered yet
    // The open whose answer decides the port state; 0 when none is awaited. An answer to
    // any other open comes from a request given up since.
    quint64 m_openAwaited = 0;
    // The open request that opened the port held now; 0 while none is.
    quint64 m_openLine = 0;
    QString m_holder;  // the program holding the port, when in use and the system says
    // The writes whose answers are awaited, in the order asked.
    std::deque<PendingWrite> m_writes;
    // Writes up to this request went to the port chosen before; they may finish while
    // the line still moves (m_progressSeen: where it stood at the last look).
    quint64 m_writesBeforeChoice = 0;
    static constexpr quint64 kProgressUnseen = ~quint64(0);
    quint64 m_progressSeen = kProgressUnseen;

    res::Lang m_lang = res::Lang::Chinese;
    QString m_upper;
    bool m_upperIsPortReason = false;  // both lines say why no port is open; re-made on a switch
    QString m_lower;

    bool m_autoRunning = false;
    int m_nStep = 1;
    std::chrono::steady_clock::time_point m_timeStart;
    bool m_shutDown = false;
};

}  // namespace panel
