#pragma once
// Brings the requests that ask a program to end into the Qt event loop: SIGTERM, SIGINT
// and SIGHUP on POSIX; Ctrl+C, Ctrl+Break, the console closing, a log-off and a shutdown
// on Windows, where they reach a program that has a console. The program then ends the
// ordinary way, as it chooses (the panel as on Escape, the display removing its port).
// What was in place before comes back when the object goes. One file per platform
// implements it.
//
// Windows ends the process once a console's closing, a log-off or a shutdown has been
// handled: it is held until this object goes (up to a few seconds), so that the program
// makes this object before what must go first, and ends it last. A synchronous write that
// the thread which made the object waits in is ended at once by a request.

#include <QObject>

#include <memory>
#include <string>

#include "serial/native_handle.h"

namespace common {

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // Whether the handlers are in place; when not, nothing was changed and Error() says
    // why (a request would then end the program at once).
    bool Installed() const noexcept { return m_error.empty(); }
    const std::string& Error() const noexcept { return m_error; }
    // Signalled once a request came and until the event loop has taken it, so that a wait
    // outside the loop watches it too: readable on POSIX, set on Windows.
    serial::NativeHandle WaitHandle() const noexcept;

signals:
    // From the event loop: the signal's number, or the console event (CTRL_C_EVENT...).
    void Received(int request);

public:
    struct Platform;  // what the platform holds; public for the Windows console handler

private:
    std::unique_ptr<Platform> m_platform;
    std::string m_error;
};

}  // namespace common
