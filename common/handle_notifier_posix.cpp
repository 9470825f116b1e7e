#include "common/handle_notifier.h"

#include <QSocketNotifier>

namespace common {

QObject* HandleNotifier::Watch(serial::NativeHandle handle)
{
    auto* notifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { m_onSignalled(); });
    return notifier;
}

}  // namespace common
