#pragma once
// Brings Ctrl+C, SIGTERM and SIGHUP into the Qt event loop, so that the display ends the
// ordinary way and removes its link; SIGPIPE is ignored for the same reason. What was in
// place before comes back when the object goes.

#include <signal.h>

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <memory>
#include <string>

#include "serial/native_handle.h"

namespace sim {

class SignalPipe : public QObject {
    Q_OBJECT
public:
    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;

    // Whether the handlers are in place; when not, nothing was changed and Error() says
    // why (Ctrl+C would then end the display without removing its link).
    bool Installed() const noexcept { return m_notifier != nullptr; }
    const std::string& Error() const noexcept { return m_error; }
    // Readable once a signal came and until the event loop has taken it: a wait outside
    // the loop watches it too.
    int Descriptor() const noexcept { return m_read.get(); }

signals:
    void signalled(int signalNumber);

private:
    serial::OwnedHandle m_read;
    serial::OwnedHandle m_write;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, 4> m_previous{};  // SIGINT, SIGTERM, SIGHUP, SIGPIPE
    std::string m_error;
};

}  // namespace sim
