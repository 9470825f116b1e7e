// How far the demonstration's ticks stray from their schedule (tick k due k periods after
// the start), for the panel's PreciseStepTimer and, to compare, for a single-shot timer
// restarted after each tick and for Qt's own repeating timer. Each tick does some work, as
// a step writing to a slow port does.
//
//   panel-timer-drift [period ms = 100] [ticks = 100] [work per tick ms = 5]
//   panel-timer-drift 1000 3600      # an hour of the real demonstration

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "panel/step_timer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

struct Settings {
    std::chrono::milliseconds period{100};
    int ticks = 100;
    std::chrono::milliseconds work{5};
};

void Work(std::chrono::milliseconds work)
{
    const Clock::time_point until = Clock::now() + work;
    while (Clock::now() < until) {
    }
}

// The ticks of one run against its schedule: how late each came, in milliseconds, the
// start being the moment the timer is started.
class Schedule {
public:
    explicit Schedule(const Settings& s) : m_s(s) {}

    // Notes how late the tick just due came, then does the tick's work; true at the last
    // tick, when the run ends.
    bool Tick()
    {
        const Clock::time_point due = m_start + static_cast<int>(m_late.size() + 1) * m_s.period;
        m_late.push_back(Ms(Clock::now() - due).count());
        Work(m_s.work);
        const bool last = static_cast<int>(m_late.size()) == m_s.ticks;
        if (last)
            m_loop.quit();
        return last;
    }

    // Starts the timer and turns the event loop until the last tick.
    std::vector<double> Run(const std::function<void()>& startTimer)
    {
        m_start = Clock::now();
        startTimer();
        m_loop.exec();
        return m_late;
    }

private:
    const Settings& m_s;
    std::vector<double> m_late;
    QEventLoop m_loop;
    Clock::time_point m_start;
};

std::vector<double> RunPrecise(const Settings& s)
{
    Schedule schedule(s);
    panel::PreciseStepTimer timer;
    timer.SetTick([&] {
        if (schedule.Tick())
            timer.Stop();
    });
    return schedule.Run([&] { timer.Start(s.period); });
}

std::vector<double> RunRestarted(const Settings& s)
{
    Schedule schedule(s);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!schedule.Tick())
            timer.start(s.period);
    });
    return schedule.Run([&] { timer.start(s.period); });
}

std::vector<double> RunRepeating(const Settings& s)
{
    Schedule schedule(s);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (schedule.Tick())
            timer.stop();
    });
    return schedule.Run([&] { timer.start(s.period); });
}

void Report(const char* name, const std::vector<double>& late)
{
    double sum = 0;
    for (double l : late)
        sum += l;
    const auto [lo, hi] = std::minmax_element(late.begin(), late.end());
    std::printf("%-26s %6zu %10.2f %10.2f %10.2f %10.2f\n", name, late.size(), *lo, sum / late.size(), *hi,
                late.back());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Settings s;
    if (argc > 1 && std::string(argv[1]) == "--help") {
        std::printf("usage: %s [period ms = 100] [ticks = 100] [work per tick ms = 5]\n", argv[0]);
        return 0;
    }
    if (argc > 1)
        s.period = std::chrono::milliseconds(std::max(1, std::atoi(argv[1])));
    if (argc > 2)
        s.ticks = std::max(1, std::atoi(argv[2]));
    if (argc > 3)
        s.work = std::chrono::milliseconds(std::max(0, std::atoi(argv[3])));

    std::printf("period %lld ms, %d ticks, %lld ms of work per tick; lateness of tick k against start + k periods\n",
                static_cast<long long>(s.period.count()), s.ticks, static_cast<long long>(s.work.count()));
    std::printf("%-26s %6s %10s %10s %10s %10s\n", "schedule", "ticks", "min ms", "mean ms", "max ms", "last ms");
    Report("PreciseStepTimer", RunPrecise(s));
    Report("single shot, restarted", RunRestarted(s));
    Report("QTimer repeating, precise", RunRepeating(s));
    return 0;
}
