#include "panel/port_worker.h"

#include <algorithm>

#include "common/handle_notifier.h"
#include "panel/debounced_port_watch.h"
#include "protocol/display_commands.h"
#include "protocol/send_staging.h"
#include "serial/cut_message.h"

namespace panel {

void PortWorker::CancelWrites()
{
    const std::lock_guard lock(m_mutex);
    ++m_ticket;
    m_stop.request_stop();
    m_stop = std::stop_source();
}

quint64 PortWorker::NextOpen()
{
    const std::lock_guard lock(m_mutex);
    m_openStop.request_stop();
    m_openStop = std::stop_source();
    return ++m_openTicket;
}

std::stop_token PortWorker::OpenStop(quint64 ticket)
{
    const std::lock_guard lock(m_mutex);
    if (ticket == m_openTicket)
        return m_openStop.get_token();
    std::stop_source superseded;
    superseded.request_stop();
    return superseded.get_token();
}

void PortWorker::CancelOpens()
{
    const std::lock_guard lock(m_mutex);
    m_openStop.request_stop();
}

std::stop_token PortWorker::StopToken()
{
    const std::lock_guard lock(m_mutex);
    return m_stop.get_token();
}

void PortWorker::Open(quint64 request, const QByteArray& portName, quint32 baudRate, std::stop_token stop)
{
    Close();
    serial::OpenOptions options;
    options.stop = std::move(stop);
    const bool ok = m_port.Open(portName.toStdString(), baudRate, options);
    if (ok) {
        m_portName = portName.toStdString();
        m_baudRate = baudRate;
        m_openRequest = request;
        WatchLine();
        ClearIfCut(StopToken());
    }
    const serial::OpenFailure& failure = m_port.LastOpenFailure();
    // The OS's text is UTF-8 on every platform this builds for.
    emit opened(request, ok, static_cast<int>(failure.kind), failure.osError,
                QString::fromStdString(failure.osMessage));
}

void PortWorker::Close()
{
    delete m_lineEvents;  // before its descriptor goes
    m_lineEvents = nullptr;
    m_openRequest = 0;
    m_portName.clear();
    if (m_port.IsOpen())
        m_port.Close();
}

void PortWorker::WatchLine()
{
    // A display that ends while the panel only holds its line, sending nothing, is noticed
    // at once rather than at the next write.
    const serial::NativeHandle handle = m_port.LineEventHandle();
    if (handle == serial::kNoHandle)
        return;
    m_lineEvents = new common::HandleNotifier(
        handle, [this] { OnLineEvent(); }, this);
}

void PortWorker::OnLineEvent()
{
    if (m_lineEvents != nullptr && m_port.LineHungUp()) {
        // It would tell the same again and again until the port is closed.
        m_lineEvents->SetEnabled(false);
        m_lineEvents->deleteLater();
        m_lineEvents = nullptr;
        emit lineLost(m_openRequest);
    }
}

void PortWorker::Write(quint64 request, const QByteArray& hex, quint64 ticket)
{
    std::stop_token stop;
    {
        const std::lock_guard lock(m_mutex);
        if (ticket != m_ticket.load()) {
            emit written(request, serial::CSerialPort::CancelledError());
            return;
        }
        stop = m_stop.get_token();
    }
    ++m_progress;  // a new write: the one before has ended
    ClearIfCut(stop);
    bool begun = false;
    const std::string_view text(hex.constData(), static_cast<std::size_t>(hex.size()));
    const std::uint32_t result = protocol::StageAndWrite(
        text, [&](const std::uint8_t* data, std::uint32_t count) { return WriteInParts(data, count, stop, &begun); });
    if (serial::ClearFollows(result, begun))
        m_cutOn = m_portName;
    emit written(request, result);
}

std::uint32_t PortWorker::WriteInParts(const std::uint8_t* data, std::uint32_t count, const std::stop_token& stop,
                                       bool* begun)
{
    // Ten bits a byte on the wire: a tenth of a second takes a hundredth of the rate.
    const std::uint32_t part = std::max<std::uint32_t>(1, m_baudRate / 100);
    std::uint32_t sent = 0;
    do {
        const std::uint32_t n = std::min(part, count - sent);
        *begun = *begun || !stop.stop_requested();
        const std::uint32_t result = m_port.Write(data + sent, n, stop);
        if (result != serial::CSerialPort::kErrorSuccess)
            return result;
        sent += n;
        ++m_progress;
    } while (sent < count);
    return serial::CSerialPort::kErrorSuccess;
}

void PortWorker::ClearIfCut(const std::stop_token& stop)
{
    if (m_cutOn.empty() || m_cutOn != m_portName)
        return;
    const auto write = [&](const std::uint8_t* data, std::uint32_t count) { return m_port.Write(data, count, stop); };
    if (protocol::StageAndWrite(protocol::ClearMessage(), write) == serial::CSerialPort::kErrorSuccess) {
        m_cutOn.clear();
        ++m_progress;
    }
}

}  // namespace panel
