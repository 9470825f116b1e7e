#pragma once
// Says when the machine's serial ports may have changed, for the panel to list them
// again: on device events where the platform has them, else once a second. Where ports
// are also found by opening devices (Windows: COM1 to COM16), that probe runs on a
// thread of its own, never on the window's.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_watch.h"

class QThread;

namespace panel {

class PortWatcher : public QObject {
    Q_OBJECT
public:
    explicit PortWatcher(std::vector<std::string> folders, QObject* parent = nullptr);
    ~PortWatcher() override;

    // The ports the last probe found (serial::ProbedPorts); none before it ended.
    const std::vector<std::string>& Probed() const { return m_probed; }

signals:
    void Changed();
    // To the probe's thread.
    void AskProbe();

private:
    // Probes again, or lists again at once where nothing is probed.
    void Look();
    void OnProbed(const QStringList& ports);

    serial::PortWatch m_watch;
    std::vector<QObject*> m_notifiers;  // one for each handle of the watch
    // A device comes with a burst of events (the node, then its group and mode): one
    // listing a settling after the first, and one more if more came meanwhile.
    QTimer m_settle;
    bool m_moreCame = false;
    QTimer m_reprobe;

    QThread* m_probeThread = nullptr;
    bool m_probing = false;
    bool m_probeAgain = false;
    std::vector<std::string> m_probed;
};

}  // namespace panel
