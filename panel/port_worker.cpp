#include "panel/port_worker.h"

#include <QSocketNotifier>

#include "protocol/send_staging.h"

namespace panel {

void PortWorker::CancelWrites()
{
    const std::lock_guard lock(m_mutex);
    ++m_ticket;
    m_stop.request_stop();
    m_stop = std::stop_source();
}

void PortWorker::Open(quint64 request, const QByteArray& portName, quint32 baudRate)
{
    Close();
    const bool ok = m_port.Open(portName.toStdString(), baudRate);
    if (ok) {
        m_openRequest = request;
        WatchLine();
    }
    const serial::OpenFailure& failure = m_port.LastOpenFailure();
    // The OS's text is UTF-8 on every platform this builds for.
    emit Opened(request, ok, static_cast<int>(failure.kind), failure.osError,
                QString::fromStdString(failure.osMessage));
}

void PortWorker::Close()
{
    delete m_lineEvents;  // before its descriptor goes
    m_lineEvents = nullptr;
    m_openRequest = 0;
    if (m_port.IsOpen())
        m_port.Close();
}

void PortWorker::WatchLine()
{
    // A display that ends while the panel only holds its line, sending nothing, is noticed
    // at once rather than at the next write.
    const int fd = m_port.LineEventDescriptor();
    if (fd < 0)
        return;
    m_lineEvents = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_lineEvents, &QSocketNotifier::activated, this, &PortWorker::OnLineEvent);
}

void PortWorker::OnLineEvent()
{
    if (m_port.LineHungUp()) {
        m_lineEvents->setEnabled(false);
        emit LineLost(m_openRequest);
    }
}

void PortWorker::Write(quint64 request, const QByteArray& hex, quint64 ticket)
{
    std::stop_token stop;
    {
        const std::lock_guard lock(m_mutex);
        if (ticket != m_ticket.load()) {
            emit Written(request, serial::CSerialPort::CancelledError());
            return;
        }
        stop = m_stop.get_token();
    }
    const std::string_view text(hex.constData(), static_cast<std::size_t>(hex.size()));
    emit Written(request, protocol::StageAndWrite(text, [&](const std::uint8_t* data, std::uint32_t count) {
        return m_port.Write(data, count, stop);
    }));
}

}  // namespace panel
