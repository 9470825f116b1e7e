#include "panel/port_watcher.h"

#include <QSocketNotifier>

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
    connect(&m_settle, &QTimer::timeout, this, &PortWatcher::Changed);

    const int fd = m_watch.EventDescriptor();
    if (fd >= 0) {
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            if (m_watch.TakeEvents())
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
