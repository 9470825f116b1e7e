#include "panel/panel_core.h"

#include <algorithm>
#include <cstdlib>

#include "panel/auto_display.h"
#include "panel/port_link.h"
#include "protocol/code_page.h"
#include "serial/network_name.h"
#include "serial/port_description.h"
#include "serial/port_discovery.h"
#include "serial/port_holder.h"
#include "serial/port_name.h"
#include "serial/port_watch.h"

namespace panel {
namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// How long a write to a port no longer chosen may stand still before it is ended: at the
// lowest rates a byte takes a fifth of a second on the wire.
constexpr auto kStallCheck = std::chrono::seconds(1);

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

// Transient reasons: the port comes back, the other program lets go, the device server is
// started again or its network comes back.
bool IsTransient(serial::OpenError kind)
{
    switch (kind) {
    case serial::OpenError::NoSuchPort:
    case serial::OpenError::InUse:
    case serial::OpenError::ConnectionRefused:
    case serial::OpenError::NoAnswer: return true;
    default: return false;
    }
}

bool IsNetworkWait(serial::OpenError kind)
{
    return kind == serial::OpenError::ConnectionRefused || kind == serial::OpenError::NoAnswer;
}

}  // namespace

PanelServices WithMachineServices(PanelServices services)
{
    if (!services.watchFolders)
        services.watchFolders = serial::PortWatch::MachineFolders();
    if (!services.portWatch)
        services.portWatch = std::make_unique<DebouncedPortWatch>(*services.watchFolders);
    // The ports that need no device opened, with what the watch's probe found off this
    // thread.
    if (!services.listPorts) {
        services.listPorts = [watch = services.portWatch.get()] {
            return serial::MergePorts(serial::ListedPorts(), watch->Probed());
        };
    }
    if (!services.describePort)
        services.describePort = [](const std::string& port) { return serial::DescribePort(port); };
    if (!services.now)
        services.now = [] { return std::chrono::steady_clock::now(); };
    for (std::unique_ptr<StepTimer>* timer : {&services.timer, &services.retryTimer, &services.stallTimer}) {
        if (!*timer)
            *timer = std::make_unique<PreciseStepTimer>();
    }
    if (!services.port)
        services.port = std::make_unique<ThreadedPort>();
    return services;
}

PanelCore::PanelCore(PanelServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_port(m_services.port.get())
{
    m_services.timer->SetTick([this] { OnTimer(); });
    m_services.retryTimer->SetTick([this] { OnRetry(); });
    m_services.stallTimer->SetTick([this] { OnStallCheck(); });
    connect(m_port, &PortLink::opened, this, &PanelCore::OnOpened);
    connect(m_port, &PortLink::written, this, &PanelCore::OnWritten);
    connect(m_port, &PortLink::lineLost, this, [this](quint64 openRequest) {
        // Only the line held now: one closed since may report its hang-up late.
        if (m_requests.HoldsLine(openRequest))
            LosePort();
    });
    connect(m_services.portWatch.get(), &DebouncedPortWatch::changed, this, &PanelCore::RefreshPorts);
}

PanelCore::~PanelCore()
{
    Shutdown();
}

void PanelCore::Shutdown()
{
    for (StepTimer* timer : {m_services.timer.get(), m_services.retryTimer.get(), m_services.stallTimer.get()}) {
        timer->Stop();
        timer->SetTick({});
    }
    disconnect(m_services.portWatch.get(), nullptr, this, nullptr);
    disconnect(m_port, nullptr, this, nullptr);
    m_port->Shutdown();
    m_requests.Close();
}

void PanelCore::Start(const QString& baud, res::Lang lang)
{
    m_lang = lang;
    m_baud = baud;
    if (!m_services.startPort.empty())
        m_added.push_back(m_services.startPort);
    m_ports = ListPorts();
    emit portsChanged();
    if (m_ports.empty()) {
        m_state = PortState::NoneFound;
        ShowPortReason();
        emit stateChanged();
        return;
    }
    m_chosen = m_added.empty() ? m_ports.front() : m_added.front();
    AskConnect();
}

std::vector<std::string> PanelCore::ListPorts() const
{
    std::vector<std::string> ports = m_services.listPorts();
    for (const std::string& port : m_added) {
        if (!Contains(ports, port))
            ports.push_back(port);
    }
    return ports;
}

void PanelCore::AddPort(const std::string& portName)
{
    if (Contains(m_added, portName))
        return;
    m_added.push_back(portName);
    if (!Contains(m_ports, portName)) {
        m_ports.push_back(portName);
        emit portsChanged();
    }
}

void PanelCore::Connect(const std::string& portName, const QString& baud)
{
    m_chosen = portName;
    m_baud = baud;
    // A message on its way to the port chosen before goes out whole while the line takes
    // it; one the line has stopped taking is ended (OnStallCheck), so that it does not
    // keep the new choice waiting.
    if (m_requests.Chosen())
        m_services.stallTimer->Start(kStallCheck);
    m_state = PortState::Opening;
    AskConnect();
}

void PanelCore::AskConnect()
{
    // The open before this one, if still on its way, is given up: this one decides.
    if (const std::optional<quint64> request = m_requests.AskOpen())
        m_port->Open(*request, QByteArray::fromStdString(m_chosen), BaudOf(m_baud));
    emit stateChanged();
}

void PanelCore::OnOpened(quint64 request, bool ok, int failureKind, int osError, const QString& osMessage)
{
    if (!m_requests.OpenAnswered(request, ok)) {
        // Given up: a later open decides, or the port went away meanwhile. The port's
        // thread has closed what this one opened, or closes it next.
        return;
    }
    if (ok) {
        m_state = PortState::Open;
        m_failure = {};
        m_services.retryTimer->Stop();
        if (m_upperIsPortReason) {
            SetUpper({});
            m_lower.clear();
        }
        emit stateChanged();
        return;
    }
    const auto kind = static_cast<serial::OpenError>(failureKind);
    // While a port that went away is not back, it stays "disconnected".
    if (!(m_state == PortState::Disconnected && IsTransient(kind))) {
        m_state = PortState::OpenFailed;
        m_failure = {kind, osError, osMessage.toStdString()};
        // Who holds it, where the system says: a small read of the kernel's lock list.
        m_holder = kind == serial::OpenError::InUse
                       ? QString::fromStdString(serial::PortHolder(serial::PortDevicePath(m_chosen)))
                       : QString();
    }
    if (WaitingForPort()) {
        if (!m_services.retryTimer->IsActive())
            m_services.retryTimer->Start(std::chrono::seconds(1));
    } else {
        m_services.retryTimer->Stop();
    }
    ShowPortReason();
    emit stateChanged();
}

void PanelCore::OnStallCheck()
{
    switch (m_requests.CheckStall(m_port->Progress())) {
    case PortRequests::Stall::Moving: return;
    case PortRequests::Stall::Stalled: m_port->CancelWrites(); break;
    case PortRequests::Stall::Done: break;
    }
    m_services.stallTimer->Stop();
}

bool PanelCore::WaitingForPort() const
{
    if (m_chosen.empty())
        return false;
    return m_state == PortState::Disconnected || (m_state == PortState::OpenFailed && IsTransient(m_failure.kind));
}

void PanelCore::OnRetry()
{
    if (!WaitingForPort()) {
        m_services.retryTimer->Stop();
        return;
    }
    // A display killed outright leaves its link, and the folder tells nothing: the list is
    // looked at again, so that a port gone from it shows as away.
    RefreshPorts();
    if (!m_requests.OpenAwaited() && WaitingForPort())
        AskConnect();
}

void PanelCore::RefreshPorts()
{
    std::vector<std::string> ports = ListPorts();
    if (ports == m_ports) {
        // The same names, but one may stand for a new device now (a virtual display
        // started again under its name between two listings).
        if (WaitingForPort() && Contains(m_ports, m_chosen) && !m_requests.OpenAwaited())
            AskConnect();
        return;
    }
    std::vector<std::string> appeared;
    for (const std::string& port : ports) {
        if (!Contains(m_ports, port))
            appeared.push_back(port);
    }
    m_ports = std::move(ports);
    emit portsChanged();

    const bool chosenListed = Contains(m_ports, m_chosen);
    if (m_state == PortState::Open || m_state == PortState::Opening) {
        if (!chosenListed && !m_chosen.empty())
            LosePort();
        return;
    }
    if (WaitingForPort()) {
        // Back under its name: open it at once rather than at the next retry.
        if (chosenListed && !m_requests.OpenAwaited())
            AskConnect();
        return;
    }
    // Nothing open and nothing to wait for: a port that appears is opened, as at start.
    if (!appeared.empty()) {
        m_chosen = appeared.front();
        m_state = PortState::Opening;
        AskConnect();
    } else if (m_ports.empty() && m_state == PortState::NoneFound) {
        emit stateChanged();
    }
}

void PanelCore::LosePort()
{
    m_port->CancelWrites();
    m_port->Close();
    // What was on its way is given up, and failed: a late answer from the old line must
    // not speak for a new one.
    if (const std::optional<PortRequests::PendingWrite> last = m_requests.GiveUpLine())
        SetUpper(Text(res::Text::StatusFailed, last->note.lang));
    m_state = PortState::Disconnected;
    m_failure = {};
    if (!m_services.retryTimer->IsActive())
        m_services.retryTimer->Start(std::chrono::seconds(1));
    ShowPortReason();
    emit stateChanged();
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
    } else if (m_state == PortState::OpenFailed && IsNetworkWait(m_failure.kind)) {
        hint = Text(res::Text::HintDisconnected);
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
    const std::optional<serial::NetworkPort> network = serial::ParseNetworkName(m_chosen, nullptr);
    if (m_state == PortState::Open && network) {
        const QString where = FromUtf8(serial::HostAndPort(*network));
        return network->kind == serial::NetworkPort::Kind::Rfc2217 ? Text(res::Text::NetRfc2217Open).arg(where, m_baud)
                                                                   : Text(res::Text::NetRawTcpOpen).arg(where);
    }
    switch (m_state) {
    case PortState::Open: return Text(res::Text::PortOpen).arg(port, m_baud);
    case PortState::NoneFound: return Text(res::Text::PortNoneFound);
    case PortState::Disconnected: return Text(res::Text::PortDisconnected).arg(port);
    case PortState::Opening: return {};
    case PortState::OpenFailed: break;
    }
    // A port the serial layer refused by itself (no OS error) comes with its reason: the
    // user learns why, say, the kernel's console is not taken.
    const QString reason = QString::fromStdString(m_failure.osMessage);
    const QString brackets = m_lang == res::Lang::Chinese ? QStringLiteral("（%1）") : QStringLiteral(" (%1)");
    const QString refusal = m_failure.osError == 0 && !reason.isEmpty() ? brackets.arg(reason) : QString();
    switch (m_failure.kind) {
    case serial::OpenError::None:
    case serial::OpenError::AlreadyOpen: return {};
    case serial::OpenError::BadName: return Text(res::Text::PortBadName).arg(port) + refusal;
    case serial::OpenError::NoSuchPort: return Text(res::Text::PortNoSuchPort).arg(port) + refusal;
    case serial::OpenError::PermissionDenied: return Text(res::Text::PortPermissionDenied).arg(port) + refusal;
    case serial::OpenError::InUse:
        return (m_holder.isEmpty() ? Text(res::Text::PortInUse).arg(port)
                                   : Text(res::Text::PortInUseBy).arg(port, m_holder))
               + refusal;
    case serial::OpenError::UnsupportedBaud:  // a device server says which rate it set instead
        return Text(res::Text::PortUnsupportedBaud).arg(port, m_baud) + refusal;
    case serial::OpenError::KernelConsole: return Text(res::Text::PortKernelConsole).arg(port);
    case serial::OpenError::HostNotFound: return Text(res::Text::PortHostNotFound).arg(port) + refusal;
    case serial::OpenError::ConnectionRefused: return Text(res::Text::PortConnectionRefused).arg(port);
    case serial::OpenError::NoAnswer: return Text(res::Text::PortNoAnswer).arg(port);
    case serial::OpenError::NotDeviceServer: return Text(res::Text::PortNotDeviceServer).arg(port) + refusal;
    case serial::OpenError::Other: break;
    }
    return Text(res::Text::PortOther).arg(port, m_baud, reason);
}

QString PanelCore::PortDescription(const std::string& portName) const
{
    const std::optional<serial::NetworkPort> network = serial::ParseNetworkName(portName, nullptr);
    if (!network)
        return FromUtf8(m_services.describePort(portName));
    const QString where = FromUtf8(serial::HostAndPort(*network));
    return Text(network->kind == serial::NetworkPort::Kind::Rfc2217 ? res::Text::NetRfc2217Server
                                                                    : res::Text::NetRawTcpServer)
        .arg(where);
}

void PanelCore::SetLanguage(res::Lang lang)
{
    m_lang = lang;
    if (m_upperIsPortReason) {
        m_upperIsPortReason = false;
        ShowPortReason();
    }
    emit stateChanged();
}

void PanelCore::SendHex(std::string_view hex, PortRequests::Note note)
{
    if (const std::optional<quint64> request = m_requests.AskWrite(note))
        m_port->Write(*request, QByteArray(hex.data(), static_cast<qsizetype>(hex.size())));
}

void PanelCore::ManualAction(std::string_view hex, res::Text success)
{
    // The lines stay empty until the write has an answer.
    SetUpper({});
    m_lower.clear();
    SendHex(hex, {success, false, m_lang});
    emit stateChanged();
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

void PanelCore::OnWritten(quint64 request, quint32 result)
{
    const std::optional<PortRequests::PendingWrite> write = m_requests.WriteAnswered(request);
    if (!write)
        return;  // given up with its port
    const PortRequests::Note& pending = write->note;
    const bool sent = result == serial::CSerialPort::kErrorSuccess;
    if (!sent && m_upperIsPortReason && !PortOpen()) {
        // It failed because the port is gone or going: the lines say so already.
    } else if (!sent)
        SetUpper(Text(res::Text::StatusFailed, pending.lang));
    else if (pending.step)
        SetUpper(Text(res::Text::PrefixSend, pending.lang) + Text(pending.success, pending.lang));
    else
        SetUpper(Text(pending.success, pending.lang));

    if (serial::WriteErrorOf(result) == serial::WriteError::DeviceGone && m_requests.HoldsLine(write->line))
        LosePort();
    emit stateChanged();
}

void PanelCore::ToggleAuto(std::chrono::milliseconds period)
{
    m_autoRunning = !m_autoRunning;
    if (m_autoRunning) {
        m_timeStart = m_services.now();
        m_nStep = 1;
        m_services.timer->Start(period);
    } else {
        m_services.timer->Stop();
        ShowPortReason();
    }
    emit stateChanged();
}

void PanelCore::OnTimer()
{
    const res::Lang lang = m_lang;
    const QString clock = QString::fromStdString(FormatRunTime(ElapsedSeconds(m_timeStart, m_services.now())));
    m_lower = Text(res::Text::PrefixRuntime, lang) + clock;

    // One message at a time: on a slow or stalled line this step waits for the next tick.
    if (m_requests.Writing()) {
        SetUpper(Text(res::Text::StatusBusy, lang));
        emit stateChanged();
        emit stepped();
        return;
    }
    const AutoStep& step = AutoStepAt(m_nStep);
    m_nStep = NextAutoStep(m_nStep);
    if (!PortOpen()) {
        // The step counts; it has no port to go to.
        SetUpper(Text(res::Text::StatusFailed, lang));
        emit stateChanged();
        emit stepped();
        return;
    }
    SendHex(step.command, {step.label, true, lang});
    emit stateChanged();
    emit stepped();
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
