#pragma once
// serial::PortWatch for the window's event loop: says when the machine's serial ports may
// have changed, for the panel to list them again, on the watch's events debounced where
// the platform has them, else once a second. Where ports are also found by opening
// devices (Windows: COM1 to COM16), that probe runs on a thread of its own, never on the
// window's.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_watch.h"

class QThread;

namespace panel {

class DebouncedPortWatch : public QObject {
    Q_OBJECT
public:
    explicit DebouncedPortWatch(std::vector<std::string> folders, QObject* parent = nullptr);
    ~DebouncedPortWatch() override;

    // The ports the last probe found (serial::ProbedPorts); none before it ended.
    const std::vector<std::string>& Probed() const { return m_probed; }

signals:
    void changed();
    // To the probe's thread.
    void probeAsked();

private:
    // Probes again, or lists again at once where nothing is probed.
    void Look();
    void OnProbed(const QStringList& ports);

    serial::PortWatch m_watch;
    std::vector<QObject*> m_notifiers;  // one for each handle of the watch
    // A device comes with a burst of events (the node, then its group and mode): debounced
    // to one listing after the first, and one more if more came meanwhile.
    QTimer m_settle;
    bool m_moreCame = false;
    QTimer m_reprobe;

    QThread* m_probeThread = nullptr;
    bool m_probing = false;
    bool m_probeAgain = false;
    std::vector<std::string> m_probed;
};

}  // namespace panel
