#include "panel/port_link.h"

#include <QThread>

#include "panel/port_worker.h"

namespace panel {
namespace {

// How long Shutdown waits for the port's thread; a write ends within a few hundredths
// of a second once cancelled.
constexpr unsigned long kShutdownWaitMs = 900;

}  // namespace

ThreadedPort::ThreadedPort(QObject* parent) : PortLink(parent)
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("serial port"));
    m_worker = new PortWorker;
    m_worker->moveToThread(m_thread);
    // Queued: the answers come on the thread this link lives on.
    connect(m_worker, &PortWorker::opened, this, &PortLink::opened);
    connect(m_worker, &PortWorker::written, this, &PortLink::written);
    connect(m_worker, &PortWorker::lineLost, this, &PortLink::lineLost);
    m_thread->start();
}

ThreadedPort::~ThreadedPort()
{
    Shutdown();
}

void ThreadedPort::Open(quint64 request, const QByteArray& portName, quint32 baudRate)
{
    // A network port's open may wait on its host for seconds: the one before this, if still
    // under way, ends at once.
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [w = m_worker, request, portName, baudRate, ticket = m_worker->NextOpen()] {
            w->Open(request, portName, baudRate, w->OpenStop(ticket));
        });
}

void ThreadedPort::Close()
{
    if (m_worker) {
        m_worker->CancelOpens();
        QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->Close(); });
    }
}

void ThreadedPort::Write(quint64 request, const QByteArray& hex)
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [w = m_worker, request, hex, ticket = m_worker->WriteTicket()] {
            w->Write(request, hex, ticket);
        });
}

void ThreadedPort::CancelWrites()
{
    if (m_worker)
        m_worker->CancelWrites();
}

quint64 ThreadedPort::Progress() const
{
    return m_worker ? m_worker->Progress() : 0;
}

void ThreadedPort::Shutdown()
{
    if (!m_worker)
        return;
    disconnect(m_worker, nullptr, this, nullptr);
    // A write on a stalled line and an open waiting on a network host end at once; then
    // the port closes and the thread ends, both on the port's own thread.
    m_worker->CancelWrites();
    m_worker->CancelOpens();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] {
        worker->Close();
        QThread::currentThread()->quit();
    });
    if (m_thread->wait(kShutdownWaitMs)) {
        delete m_worker;
    } else {
        // The OS did not give the thread back in time: leave it to the process's end
        // rather than keep the user waiting.
        m_thread->setParent(nullptr);
    }
    m_worker = nullptr;
}

}  // namespace panel
