#pragma once
// Calls back from the Qt event loop when an OS handle is signalled: a descriptor that has
// something to read (a QSocketNotifier) on POSIX, an event that is set (a
// QWinEventNotifier) on Windows. One file per platform implements it.

#include <QObject>

#include <functional>

#include "serial/native_handle.h"

namespace common {

class HandleNotifier : public QObject {
    Q_OBJECT
public:
    // Calls onSignalled from the event loop of the thread it lives in, each time the handle
    // is signalled, until it is disabled or goes; it goes before the handle it watches.
    HandleNotifier(serial::NativeHandle handle, std::function<void()> onSignalled, QObject* parent = nullptr);
    ~HandleNotifier() override;

    // Off for a handle that would wake the loop for ever (a line that is gone).
    void SetEnabled(bool enabled);

private:
    // The platform's notifier on the handle, a child that calls m_onSignalled.
    QObject* Watch(serial::NativeHandle handle);

    std::function<void()> m_onSignalled;
    QObject* m_notifier;
};

}  // namespace common
