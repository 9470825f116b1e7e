#include "panel/panel_core.h"

#include <QThread>
#include <algorithm>
#include <cstdlib>

#include "panel/auto_display.h"
#include "panel/port_watcher.h"
#include "panel/port_worker.h"
#include "protocol/code_page.h"
#include "serial/port_discovery.h"
#include "serial/port_watch.h"

namespace panel {
namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// 0 for a text that is no rate: Open refuses it as an unsupported rate.
std::uint32_t BaudOf(const QString& text)
{
    std::uint32_t baud = 0;
    return serial::ParseBaudRate(text.toStdString(), &baud) ? baud : 0;
}

bool Contains(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

// Reasons that pass by themselves: the port comes back, the other program lets go.
bool Passes(serial::OpenError kind)
{
    return kind == serial::OpenError::NoSuchPort || kind == serial::OpenError::InUse;
}

// How long Shutdown waits for the port's thread; a write ends within a few hundredths
// of a second once cancelled.
constexpr unsigned long kShutdownWaitMs = 900;

}  // namespace

PanelCore::PanelCore(PanelServices& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
    // The ports that need no device opened, with what the watcher's probe found off this
    // thread.
    if (!m_services.listPorts)
        m_services.listPorts = [this] { return serial::MergePorts(serial::ListedPorts(), m_watcher->Probed()); };
    if (!m_services.watchFolders)
        m_services.watchFolders = serial::PortWatch::MachineFolders();
    if (!m_services.now)
        m_services.now = [] { return std::chrono::steady_clock::now(); };
    if (!m_services.timer)
        m_services.timer = std::make_unique<PreciseStepTimer>();
    if (!m_services.retryTimer)
        m_services.retryTimer = std::make_unique<PreciseStepTimer>();
    m_services.timer->SetTick([this] { OnTimer(); });
    m_services.retryTimer->SetTick([this] { OnRetry(); });

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("serial port"));
    m_worker = new PortWorker;
    m_worker->moveToThread(m_thread);
    connect(this, &PanelCore::AskOpen, m_worker, &PortWorker::Open);
    connect(this, &PanelCore::AskClose, m_worker, &PortWorker::Close);
    connect(this, &PanelCore::AskWrite, m_worker, &PortWorker::Write);
    connect(m_worker, &PortWorker::Opened, this, &PanelCore::OnOpened);
    connect(m_worker, &PortWorker::Written, this, &PanelCore::OnWritten);
    connect(m_worker, &PortWorker::LineLost, this, [this] {
        if (m_state == PortState::Open && m_opensAsked == 0)
            LosePort();
    });
    m_thread->start();

    m_watcher = new PortWatcher(*m_services.watchFolders, this);
    connect(m_watcher, &PortWatcher::Changed, this, &PanelCore::RefreshPorts);
}

PanelCore::~PanelCore()
{
    Shutdown();
}

void PanelCore::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_services.timer->Stop();
    m_services.retryTimer->Stop();
    m_services.timer->SetTick({});
    m_services.retryTimer->SetTick({});
    disconnect(m_worker, nullptr, this, nullptr);

    // A write on a stalled line ends at once; then the port closes and the thread ends,
    // both on the port's own thread.
    m_worker->CancelWrites();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] {
        worker->Close();
        QThread::currentThread()->quit();
    }, Qt::QueuedConnection);
    if (m_thread->wait(kShutdownWaitMs)) {
        delete m_worker;
    } else {
        // The OS did not give the thread back in time: leave it to the process's end
        // rather than keep the user waiting.
        m_thread->setParent(nullptr);
    }
    m_worker = nullptr;
}

void PanelCore::Start(const QString& baud, res::Lang lang)
{
    m_lang = lang;
    m_baud = baud;
    m_ports = m_services.listPorts();
    emit PortsChanged();
    if (m_ports.empty()) {
        m_state = PortState::NoneFound;
        ShowPortReason();
        emit StateChanged();
        return;
    }
    m_chosen = m_ports.front();
    AskConnect();
}

void PanelCore::Connect(const std::string& portName, const QString& baud)
{
    if (m_shutDown)
        return;
    m_chosen = portName;
    m_baud = baud;
    // What was on its way to the old port is no longer wanted.
    m_worker->CancelWrites();
    m_state = PortState::Opening;
    AskConnect();
}

void PanelCore::AskConnect()
{
    if (m_shutDown)
        return;
    // Close first, so every attempt starts from a closed port.
    emit AskClose();
    ++m_opensAsked;
    emit AskOpen(QByteArray::fromStdString(m_chosen), BaudOf(m_baud));
    emit StateChanged();
}

void PanelCore::OnOpened(bool ok, int failureKind, int osError, const QString& osMessage)
{
    if (--m_opensAsked > 0)
        return;  // a later request decides
    if (ok) {
        m_state = PortState::Open;
        m_failure = {};
        m_services.retryTimer->Stop();
        if (m_upperIsPortReason) {
            SetUpper({});
            m_lower.clear();
        }
        emit StateChanged();
        return;
    }
    const auto kind = static_cast<serial::OpenError>(failureKind);
    // While a port that went away is not back, it stays "disconnected".
    if (!(m_state == PortState::Disconnected && Passes(kind))) {
        m_state = PortState::OpenFailed;
        m_failure = {kind, osError, osMessage.toStdString()};
    }
    if (WaitingForPort()) {
        if (!m_services.retryTimer->IsActive())
            m_services.retryTimer->Start(std::chrono::seconds(1));
    } else {
        m_services.retryTimer->Stop();
    }
    ShowPortReason();
    emit StateChanged();
}

bool PanelCore::WaitingForPort() const
{
    if (m_chosen.empty())
        return false;
    return m_state == PortState::Disconnected || (m_state == PortState::OpenFailed && Passes(m_failure.kind));
}

void PanelCore::OnRetry()
{
    if (!WaitingForPort()) {
        m_services.retryTimer->Stop();
        return;
    }
    if (m_opensAsked == 0)
        AskConnect();
}

void PanelCore::RefreshPorts()
{
    if (m_shutDown)
        return;
    std::vector<std::string> ports = m_services.listPorts();
    if (ports == m_ports) {
        // The same names, but one may stand for a new device now (a virtual display
        // started again under its name between two looks).
        if (WaitingForPort() && Contains(m_ports, m_chosen) && m_opensAsked == 0)
            AskConnect();
        return;
    }
    std::vector<std::string> appeared;
    for (const std::string& port : ports) {
        if (!Contains(m_ports, port))
            appeared.push_back(port);
    }
    m_ports = std::move(ports);
    emit PortsChanged();

    const bool chosenListed = Contains(m_ports, m_chosen);
    if (m_state == PortState::Open || m_state == PortState::Opening) {
        if (!chosenListed && !m_chosen.empty())
            LosePort();
        return;
    }
    if (WaitingForPort()) {
        // Back under its name: open it at once rather than at the next retry.
        if (chosenListed && m_opensAsked == 0)
            AskConnect();
        return;
    }
    // Nothing open and nothing to wait for: a port that appears is opened, as at start.
    if (!appeared.empty()) {
        m_chosen = appeared.front();
        m_state = PortState::Opening;
        AskConnect();
    } else if (m_ports.empty() && m_state == PortState::NoneFound) {
        emit StateChanged();
    }
}

void PanelCore::LosePort()
{
    if (m_shutDown)
        return;
    m_worker->CancelWrites();
    emit AskClose();
    m_state = PortState::Disconnected;
    m_failure = {};
    if (!m_services.retryTimer->IsActive())
        m_services.retryTimer->Start(std::chrono::seconds(1));
    ShowPortReason();
    emit StateChanged();
}

void PanelCore::ShowPortReason()
{
    // While the demonstration runs, its steps own the lines.
    if (m_autoRunning || PortOpen())
        return;
    const QString port = FromUtf8(m_chosen);
    QString reason = PortTip();
    QString hint;
    if (m_state == PortState::NoneFound) {
        hint = Text(res::Text::HintNoPort);
    } else if (m_state == PortState::Disconnected) {
        reason = Text(res::Text::StatusDisconnected).arg(port);
        hint = Text(res::Text::HintDisconnected);
    } else if (m_state == PortState::OpenFailed && m_failure.kind == serial::OpenError::PermissionDenied) {
        reason = Text(res::Text::StatusPermissionDenied).arg(port);
        hint = Text(res::Text::HintPermissionDenied);
    } else if (m_state == PortState::OpenFailed && m_failure.kind == serial::OpenError::InUse) {
        hint = Text(res::Text::HintInUse);
    }
    if (reason.isEmpty())
        return;
    m_upper = reason;
    m_lower = hint;
    m_upperIsPortReason = true;
}

void PanelCore::SetUpper(const QString& text)
{
    m_upper = text;
    m_upperIsPortReason = false;
}

QString PanelCore::PortTip() const
{
    const QString port = FromUtf8(m_chosen);
    switch (m_state) {
    case PortState::Open: return Text(res::Text::PortOpen).arg(port, m_baud);
    case PortState::NoneFound: return Text(res::Text::PortNoneFound);
    case PortState::Disconnected: return Text(res::Text::PortDisconnected).arg(port);
    case PortState::Opening: return {};
    case PortState::OpenFailed: break;
    }
    switch (m_failure.kind) {
    case serial::OpenError::None:
    case serial::OpenError::AlreadyOpen:
        return {};
    case serial::OpenError::BadName: return Text(res::Text::PortBadName).arg(port);
    case serial::OpenError::NoSuchPort: return Text(res::Text::PortNoSuchPort).arg(port);
    case serial::OpenError::PermissionDenied: return Text(res::Text::PortPermissionDenied).arg(port);
    case serial::OpenError::InUse: return Text(res::Text::PortInUse).arg(port);
    case serial::OpenError::UnsupportedBaud: return Text(res::Text::PortUnsupportedBaud).arg(port, m_baud);
    case serial::OpenError::Other: break;
    }
    return Text(res::Text::PortOther).arg(port, m_baud, QString::fromStdString(m_failure.osMessage));
}

void PanelCore::SetLanguage(res::Lang lang)
{
    m_lang = lang;
    if (m_upperIsPortReason) {
        m_upperIsPortReason = false;
        ShowPortReason();
    }
    emit StateChanged();
}

void PanelCore::SendHex(std::string_view hex, PendingWrite pending)
{
    if (m_shutDown)
        return;
    m_writes.push_back(pending);
    emit AskWrite(QByteArray(hex.data(), static_cast<qsizetype>(hex.size())), m_worker->WriteTicket());
}

void PanelCore::ManualAction(std::string_view hex, res::Text success)
{
    // The lines stay empty until the write has an answer.
    SetUpper({});
    m_lower.clear();
    SendHex(hex, {success, false, m_lang});
    emit StateChanged();
}

void PanelCore::SendData(protocol::Lamp lamp, const QString& text)
{
    ManualAction(protocol::SendDataMessage(lamp, protocol::ToDisplayCodePage(text.toStdString())),
                 res::Text::StatusSuccess);
}

void PanelCore::Scrolling()
{
    ManualAction(protocol::ScrollingMessage(), res::Text::StatusScrolling);
}

void PanelCore::Flickering()
{
    ManualAction(protocol::FlickeringMessage(), res::Text::StatusFlickering);
}

void PanelCore::OnWritten(quint32 result)
{
    if (m_writes.empty())
        return;
    const PendingWrite pending = m_writes.front();
    m_writes.pop_front();
    const bool sent = result == serial::CSerialPort::kErrorSuccess;
    if (!sent && m_upperIsPortReason && !PortOpen()) {
        // It failed because the port is gone or going: the lines say so already.
    } else if (!sent)
        SetUpper(Text(res::Text::StatusFailed, pending.lang));
    else if (pending.step)
        SetUpper(Text(res::Text::PrefixSend, pending.lang) + Text(pending.success, pending.lang));
    else
        SetUpper(Text(pending.success, pending.lang));

    if (serial::WriteErrorOf(result) == serial::WriteError::DeviceGone && m_state == PortState::Open)
        LosePort();
    emit StateChanged();
}

void PanelCore::ToggleAuto(std::chrono::milliseconds period)
{
    if (m_shutDown)
        return;
    m_autoRunning = !m_autoRunning;
    if (m_autoRunning) {
        m_timeStart = m_services.now();
        m_nStep = 1;
        m_services.timer->Start(period);
    } else {
        m_services.timer->Stop();
        ShowPortReason();
    }
    emit StateChanged();
}

void PanelCore::OnTimer()
{
    const res::Lang lang = m_lang;
    const QString clock = QString::fromStdString(FormatRunTime(ElapsedSeconds(m_timeStart, m_services.now())));
    m_lower = Text(res::Text::PrefixRuntime, lang) + clock;

    // One message at a time: on a slow or stalled line this step waits for the next tick.
    if (!m_writes.empty()) {
        SetUpper(Text(res::Text::StatusBusy, lang));
        emit StateChanged();
        emit Stepped();
        return;
    }
    const AutoStep& step = AutoStepAt(m_nStep);
    m_nStep = NextAutoStep(m_nStep);
    if (!PortOpen()) {
        // The step counts; it has no port to go to.
        SetUpper(Text(res::Text::StatusFailed, lang));
        emit StateChanged();
        emit Stepped();
        return;
    }
    SendHex(step.command, {step.label, true, lang});
    emit StateChanged();
    emit Stepped();
}

QString PanelCore::Text(res::Text text) const
{
    return Text(text, m_lang);
}

QString PanelCore::Text(res::Text text, res::Lang lang) const
{
    return FromUtf8(res::Caption(text, lang));
}

}  // namespace panel
