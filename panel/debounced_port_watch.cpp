#include "panel/debounced_port_watch.h"

#include <QThread>
#include <QtAlgorithms>
#include <utility>

#include "common/handle_notifier.h"
#include "serial/port_discovery.h"

namespace panel {

namespace {
constexpr int kSettleMs = 100;
constexpr int kReprobeMs = 1000;
// How long the window waits at its end for a probe under way; a driver that holds an
// open longer leaves its thread to the process's end.
constexpr unsigned long kProbeWaitMs = 900;

// Lives on the probe's thread.
class Prober : public QObject {
    Q_OBJECT
public:
    void Probe()
    {
        QStringList ports;
        for (const std::string& port : serial::ProbedPorts())
            ports.append(QString::fromStdString(port));
        emit probed(ports);
    }

signals:
    void probed(const QStringList& ports);
};

}  // namespace

DebouncedPortWatch::DebouncedPortWatch(std::vector<std::string> folders, QObject* parent)
    : QObject(parent), m_watch(std::move(folders))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        // What came within the debounce is looked at once more, a debounce later.
        if (std::exchange(m_moreCame, false))
            m_settle.start();
        Look();
    });

    if (serial::PortsAreProbed()) {
        m_probeThread = new QThread(this);
        m_probeThread->setObjectName(QStringLiteral("port probe"));
        auto* prober = new Prober;
        prober->moveToThread(m_probeThread);
        connect(m_probeThread, &QThread::finished, prober, &QObject::deleteLater);
        connect(this, &DebouncedPortWatch::probeAsked, prober, &Prober::Probe);
        connect(prober, &Prober::probed, this, &DebouncedPortWatch::OnProbed);
        m_probeThread->start();
        Look();
    }

    const std::vector<serial::NativeHandle> handles = m_watch.EventHandles();
    for (const serial::NativeHandle handle : handles) {
        m_notifiers.push_back(new common::HandleNotifier(
            handle,
            [this] {
                if (!m_watch.TakeEvents())
                    return;
                // Settled from the first event of a burst, never restarted by the later ones:
                // a folder that changes all the time must not keep a new port out of the list.
                if (m_settle.isActive())
                    m_moreCame = true;
                else
                    m_settle.start();
            },
            this));
    }
    if (handles.empty()) {
        m_reprobe.setInterval(kReprobeMs);
        connect(&m_reprobe, &QTimer::timeout, this, &DebouncedPortWatch::Look);
        m_reprobe.start();
    }
}

DebouncedPortWatch::~DebouncedPortWatch()
{
    // The notifiers go before the handles they wait on.
    qDeleteAll(m_notifiers);
    if (m_probeThread) {
        m_probeThread->quit();
        if (!m_probeThread->wait(kProbeWaitMs))
            m_probeThread->setParent(nullptr);
    }
}

void DebouncedPortWatch::Look()
{
    if (!m_probeThread) {
        emit changed();
        return;
    }
    if (m_probing) {
        m_probeAgain = true;
        return;
    }
    m_probing = true;
    emit probeAsked();
}

void DebouncedPortWatch::OnProbed(const QStringList& ports)
{
    m_probing = false;
    m_probed.clear();
    for (const QString& port : ports)
        m_probed.push_back(port.toStdString());
    emit changed();
    if (m_probeAgain) {
        m_probeAgain = false;
        Look();
    }
}

}  // namespace panel

#include "debounced_port_watch.moc"
