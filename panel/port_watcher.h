#pragma once
// Says when the machine's serial ports may have changed, for the panel to list them
// again: on device events where the platform has them, else once a second.

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_watch.h"

class QSocketNotifier;

namespace panel {

class PortWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortWatcher(std::vector<std::string> folders, QObject* parent = nullptr);
    ~PortWatcher() override;

signals:
    void Changed();

private:
    serial::PortWatch m_watch;
    QSocketNotifier* m_notifier = nullptr;
    // A device comes with a burst of events (the node, then its group and mode): one
    // listing a settling after the first, and one more if more came meanwhile.
    QTimer m_settle;
    bool m_moreCame = false;
    QTimer m_reprobe;
};

}  // namespace panel
