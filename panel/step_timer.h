#pragma once
// The timer that paces the automatic demonstration. The panel talks to this interface, so
// a test drives the steps itself instead of waiting for them.

#include <QTimer>
#include <chrono>
#include <functional>

namespace panel {

class StepTimer {
public:
    virtual ~StepTimer() = default;

    // What runs once per period.
    void SetTick(std::function<void()> tick) { m_tick = std::move(tick); }

    // Starts ticking, the first tick one period from now; restarts an active timer.
    virtual void Start(std::chrono::milliseconds period) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;

protected:
    void Tick()
    {
        if (m_tick)
            m_tick();
    }

private:
    std::function<void()> m_tick;
};

// Tick k comes k periods after Start, measured on the monotonic clock each time, so late
// ticks do not add up to drift over a long run. A tick that comes so late that further
// periods have passed meanwhile stands for them all: ticks never queue up.
class PreciseStepTimer : public StepTimer {
public:
    PreciseStepTimer();

    void Start(std::chrono::milliseconds period) override;
    void Stop() override;
    bool IsActive() const override { return m_active; }

private:
    void Arm();
    void OnTimeout();

    QTimer m_timer;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::milliseconds m_period{1000};
    long long m_slot = 0;       // ticks due so far
    unsigned m_generation = 0;  // counts starts and stops, to notice one made by a tick
    bool m_active = false;
};

}  // namespace panel
