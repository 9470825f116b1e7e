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

void PortWorker::Open(const QByteArray& portName, quint32 baudRate)
{
    const bool ok = m_port.Open(portName.toStdString(), baudRate);
    if (ok)
        WatchLine();
    const serial::OpenFailure& failure = m_port.LastOpenFailure();
    // The OS's text is UTF-8 on every platform this builds for.
    emit Opened(ok, static_cast<int>(failure.kind), failure.osError, QString::fromStdString(failure.osMessage));
}

void PortWorker::Close()
{
    delete m_lineEvents;  // before its descriptor goes
    m_lineEvents = nullptr;
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
        emit LineLost();
    }
}

void PortWorker::Write(const QByteArray& bytes, quint64 ticket)
{
    std::stop_token stop;
    {
        const std::lock_guard lock(m_mutex);
        if (ticket != m_ticket.load()) {
            emit Written(serial::CSerialPort::CancelledError());
            return;
        }
        stop = m_stop.get_token();
    }
    const std::string_view hex(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    emit Written(protocol::StageAndWrite(hex, [&](const std::uint8_t* data, std::uint32_t count) {
        return m_port.Write(data, count, stop);
    }));
}

}  // namespace panel
