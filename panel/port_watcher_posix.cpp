#include <QSocketNotifier>

#include "panel/port_watcher.h"

namespace panel {

QObject* WatchNotifier(serial::NativeHandle handle, QObject* parent, std::function<void()> onEvent)
{
    auto* notifier = new QSocketNotifier(handle, QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, std::move(onEvent));
    return notifier;
}

}  // namespace panel
