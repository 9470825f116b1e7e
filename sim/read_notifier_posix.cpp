#include "sim/read_notifier.h"

#include <QSocketNotifier>

#include "sim/listen_port.h"

namespace sim {

ReadNotifier::ReadNotifier(const ListenPort& port, std::function<void()> onReady)
    : m_notifier(std::make_unique<QSocketNotifier>(port.ReadFd(), QSocketNotifier::Read))
{
    QObject::connect(static_cast<QSocketNotifier*>(m_notifier.get()), &QSocketNotifier::activated,
                     std::move(onReady));
}

ReadNotifier::~ReadNotifier() = default;

void ReadNotifier::SetEnabled(bool enabled)
{
    static_cast<QSocketNotifier*>(m_notifier.get())->setEnabled(enabled);
}

}  // namespace sim
