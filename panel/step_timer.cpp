#include "panel/step_timer.h"

#include <algorithm>

namespace panel {

using std::chrono::steady_clock;

PreciseStepTimer::PreciseStepTimer()
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { OnTimeout(); });
}

void PreciseStepTimer::Start(std::chrono::milliseconds period)
{
    m_start = steady_clock::now();
    m_period = std::max(period, std::chrono::milliseconds(1));
    m_slot = 0;
    m_active = true;
    ++m_generation;
    Arm();
}

void PreciseStepTimer::Stop()
{
    m_timer.stop();
    m_active = false;
    ++m_generation;
}

void PreciseStepTimer::Arm()
{
    const steady_clock::time_point due = m_start + (m_slot + 1) * m_period;
    // Rounded up: the tick must not come before its time.
    const auto delay = std::chrono::ceil<std::chrono::milliseconds>(due - steady_clock::now());
    m_timer.start(std::max(delay, std::chrono::milliseconds(0)));
}

void PreciseStepTimer::OnTimeout()
{
    const long long passed = (steady_clock::now() - m_start) / m_period;
    m_slot = std::max(m_slot + 1, passed);
    const unsigned generation = m_generation;
    Tick();
    if (m_active && generation == m_generation)
        Arm();
}

}  // namespace panel
