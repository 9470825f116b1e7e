#include "sim/read_notifier.h"

#include <QSocketNotifier>

#include "serial/display_line.h"

namespace sim {

ReadNotifier::ReadNotifier(const serial::DisplayLine& port, std::function<void()> onReady)
    : m_notifier(std::make_unique<QSocketNotifier>(port.WaitHandle(), QSocketNotifier::Read))
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
