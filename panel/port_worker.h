#pragma once
// The serial port on a thread of its own, so that no call of the window waits for the
// line. The panel reaches it only through its link (ThreadedPort), by queued calls; it
// answers each request with one signal that names the request, in the order asked.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>

#include "serial/serial_port.h"

namespace common {
class HandleNotifier;
}

namespace panel {

class PortWorker : public QObject {
    Q_OBJECT
public:
    PortWorker() = default;

    // From any thread: a write under way ends at once, and every write asked for before
    // this call is answered as cancelled without touching the line.
    void CancelWrites();
    // From any thread: an open under way ends at once, and the open asked for next gets
    // the ticket returned, whose stop (OpenStop) comes when the one after it is asked for
    // or CancelOpens comes. Apart from the writes' stop: a new choice of port ends an open
    // at once, while a message on its way to the port chosen before goes out whole.
    quint64 NextOpen();
    void CancelOpens();
    // On the port's thread: the stop of the open with that ticket, stopped already when a
    // later open was asked for meanwhile.
    std::stop_token OpenStop(quint64 ticket);
    // From any thread: the ticket to give a write asked for now.
    quint64 WriteTicket() const { return m_ticket.load(); }
    // From any thread: moves on whenever the line takes a part of a message.
    quint64 Progress() const { return m_progress.load(); }

    // stop: from NextOpen; ends a network port's name resolution, connection and handshake.
    void Open(quint64 request, const QByteArray& portName, quint32 baudRate, std::stop_token stop);
    void Close();
    void Write(quint64 request, const QByteArray& hex, quint64 ticket);

signals:
    // failureKind is a serial::OpenError.
    void opened(quint64 request, bool ok, int failureKind, int osError, const QString& osMessage);
    void written(quint64 request, quint32 result);
    // The line opened by this request hung up while no write was under way.
    void lineLost(quint64 openRequest);

private:
    void WatchLine();
    void OnLineEvent();
    std::stop_token StopToken();
    // The message in parts of about a tenth of a second on the wire each, so that a write
    // that still moves can be told from one that stalled. *begun: whether the line was
    // touched.
    std::uint32_t WriteInParts(const std::uint8_t* data, std::uint32_t count, const std::stop_token& stop, bool* begun);
    // A message cut on this port leaves the display inside a command: Clear ends it.
    void ClearIfCut(const std::stop_token& stop);

    serial::CSerialPort m_port;
    std::string m_portName;
    std::uint32_t m_baudRate = 0;
    std::string m_cutOn;                             // the port a message was cut on, until Clear followed it
    quint64 m_openRequest = 0;                       // the request that opened m_port
    common::HandleNotifier* m_lineEvents = nullptr;  // tells of news on the open line
    std::mutex m_mutex;                              // guards both stop sources against the window's thread
    std::stop_source m_stop;
    std::stop_source m_openStop;
    quint64 m_openTicket = 0;  // the last NextOpen's; guarded by m_mutex
    std::atomic<quint64> m_ticket{0};
    std::atomic<quint64> m_progress{0};
};

}  // namespace panel
