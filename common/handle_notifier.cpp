#include "common/handle_notifier.h"

namespace common {

HandleNotifier::HandleNotifier(serial::NativeHandle handle, std::function<void()> onSignalled, QObject* parent)
    : QObject(parent), m_onSignalled(std::move(onSignalled)), m_notifier(Watch(handle))
{
}

HandleNotifier::~HandleNotifier() = default;

void HandleNotifier::SetEnabled(bool enabled)
{
    // A slot of either platform's notifier (QSocketNotifier, QWinEventNotifier).
    [[maybe_unused]] const bool called =
        QMetaObject::invokeMethod(m_notifier, "setEnabled", Qt::DirectConnection, Q_ARG(bool, enabled));
    Q_ASSERT(called);
}

}  // namespace common
