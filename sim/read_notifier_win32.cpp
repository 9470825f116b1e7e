#include "sim/read_notifier.h"

#include <QWinEventNotifier>

#include "sim/listen_port.h"

namespace sim {

// The event is set when an overlapped operation of the port ends (bytes read, a client
// connected or gone); Read starts the next, which clears it.
ReadNotifier::ReadNotifier(const ListenPort& port, std::function<void()> onReady)
    : m_notifier(std::make_unique<QWinEventNotifier>(port.ReadEvent()))
{
    QObject::connect(static_cast<QWinEventNotifier*>(m_notifier.get()), &QWinEventNotifier::activated,
                     std::move(onReady));
}

ReadNotifier::~ReadNotifier() = default;

void ReadNotifier::SetEnabled(bool enabled)
{
    static_cast<QWinEventNotifier*>(m_notifier.get())->setEnabled(enabled);
}

}  // namespace sim
