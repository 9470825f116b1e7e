#pragma once
// The panel's link to its port. Every request carries the number the panel gave it, and
// every answer names the request it answers, so that the panel can tell an answer it still
// waits for from one to a request it has given up since (an open of a port that left the
// list meanwhile). The program's link runs the port on a thread of its own (ThreadedPort);
// a test may stand a link of its own in between, to hold answers back and reorder them.

#include <QByteArray>
#include <QObject>
#include <QString>

class QThread;

namespace panel {

class PortWorker;

class PortLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the port, after closing whatever was open; answered by opened.
    virtual void Open(quint64 request, const QByteArray& portName, quint32 baudRate) = 0;
    // Closes the port; not answered.
    virtual void Close() = 0;
    // Puts the command string on the line; answered by written.
    virtual void Write(quint64 request, const QByteArray& hex) = 0;
    // A write under way ends at once, and every write asked for before this call is
    // answered as cancelled without touching the line.
    virtual void CancelWrites() = 0;
    // Moves on whenever the line takes a part of a message: a write that leaves it standing
    // for a while has stalled.
    virtual quint64 Progress() const = 0;
    // Ends every write, closes the port and stops the port's thread; nothing is answered
    // afterwards.
    virtual void Shutdown() = 0;

signals:
    // failureKind is a serial::OpenError.
    void opened(quint64 request, bool ok, int failureKind, int osError, const QString& osMessage);
    void written(quint64 request, quint32 result);
    // The line opened by this request hung up while no write was under way.
    void lineLost(quint64 openRequest);
};

// The port on a thread of its own, as the program has it.
class ThreadedPort : public PortLink {
    Q_OBJECT
public:
    explicit ThreadedPort(QObject* parent = nullptr);
    ~ThreadedPort() override;

    void Open(quint64 request, const QByteArray& portName, quint32 baudRate) override;
    void Close() override;
    void Write(quint64 request, const QByteArray& hex) override;
    void CancelWrites() override;
    quint64 Progress() const override;
    void Shutdown() override;

private:
    QThread* m_thread = nullptr;
    PortWorker* m_worker = nullptr;  // on m_thread; null once shut down
};

}  // namespace panel
