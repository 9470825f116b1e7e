#pragma once
// Brings the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) into the Qt event
// loop, so that the panel ends as on Escape: the demonstration stops, the write is
// abandoned, and the port is closed and released rather than left in exclusive mode. What
// was in place before comes back when the object goes. Where the platform has no such
// signals, it never reports.

#include <QObject>
#include <memory>

namespace app {

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

signals:
    void Received(int signalNumber);

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};

}  // namespace app
