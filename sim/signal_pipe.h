#pragma once
// Brings Ctrl+C, SIGTERM and SIGHUP into the Qt event loop, so that the display ends the
// ordinary way and removes its link; SIGPIPE is ignored for the same reason.

#include <QObject>
#include <QSocketNotifier>

#include <memory>

#include "serial/native_handle.h"

namespace sim {

class SignalPipe : public QObject {
    Q_OBJECT
public:
    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;

    // Whether the handlers are in place.
    bool Installed() const noexcept { return m_notifier != nullptr; }

signals:
    void signalled(int signalNumber);

private:
    serial::OwnedHandle m_read;
    serial::OwnedHandle m_write;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace sim
