#include "panel/port_watcher.h"

#include <QSocketNotifier>
#include <utility>

namespace panel {

namespace {
constexpr int kSettleMs = 100;
constexpr int kReprobeMs = 1000;
}  // namespace

PortWatcher::PortWatcher(std::vector<std::string> folders, QObject* parent)
    : QObject(parent)
    , m_watch(std::move(folders))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        // What came while it settled is looked at once more, a settling later.
        if (std::exchange(m_moreCame, false))
            m_settle.start();
        emit Changed();
    });

    const int fd = m_watch.EventDescriptor();
    if (fd >= 0) {
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            if (!m_watch.TakeEvents())
                return;
            // Settled from the first event of a burst, never restarted by the later ones:
            // a folder that changes all the time must not keep a new port out of the list.
            if (m_settle.isActive())
                m_moreCame = true;
            else
                m_settle.start();
        });
    } else {
        m_reprobe.setInterval(kReprobeMs);
        connect(&m_reprobe, &QTimer::timeout, this, &PortWatcher::Changed);
        m_reprobe.start();
    }
}

PortWatcher::~PortWatcher()
{
    // A child would go only after m_watch has closed the descriptor it watches.
    delete m_notifier;
}

}  // namespace panel
