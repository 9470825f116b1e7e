#include <QWinEventNotifier>

#include "panel/port_watcher.h"

namespace panel {

QObject* WatchNotifier(serial::NativeHandle handle, QObject* parent, std::function<void()> onEvent)
{
    auto* notifier = new QWinEventNotifier(handle, parent);
    QObject::connect(notifier, &QWinEventNotifier::activated, parent, std::move(onEvent));
    return notifier;
}

}  // namespace panel
