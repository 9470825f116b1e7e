#pragma once
// The serial port on a thread of its own, so that no call of the window waits for the
// line. The panel talks to it only through queued signals; it answers each request with
// one signal, in the order the requests were made.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <stop_token>

#include "serial/serial_port.h"

class QSocketNotifier;

namespace panel {

class PortWorker : public QObject {
    Q_OBJECT
public:
    PortWorker() = default;

    // From any thread: a write under way ends at once, and every write asked for before
    // this call is answered as cancelled without touching the line.
    void CancelWrites();
    // From any thread: the ticket to give a write asked for now.
    quint64 WriteTicket() const { return m_ticket.load(); }

public slots:
    void Open(const QByteArray& portName, quint32 baudRate);
    void Close();
    void Write(const QByteArray& bytes, quint64 ticket);

signals:
    // failureKind is a serial::OpenError.
    void Opened(bool ok, int failureKind, int osError, const QString& osMessage);
    void Written(quint32 result);
    // The open port's device hung up while no write was under way.
    void LineLost();

private:
    void WatchLine();
    void OnLineEvent();

    serial::CSerialPort m_port;
    QSocketNotifier* m_lineEvents = nullptr;
    std::mutex m_mutex;  // guards m_stop against CancelWrites from the window's thread
    std::stop_source m_stop;
    std::atomic<quint64> m_ticket{0};
};

}  // namespace panel
