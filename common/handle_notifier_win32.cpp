#include "common/handle_notifier.h"

#include <QWinEventNotifier>

namespace common {

// An event that is not reset stays signalled: whoever is called resets it, or starts what
// resets it (the next overlapped read).
QObject* HandleNotifier::Watch(serial::NativeHandle handle)
{
    auto* notifier = new QWinEventNotifier(handle, this);
    connect(notifier, &QWinEventNotifier::activated, this, [this] { m_onSignalled(); });
    return notifier;
}

}  // namespace common
