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

// Notes how late the tick just due came, then does the tick's work.
void RecordTickAndWork(std::vector<double>& late, Clock::time_point start, const Settings& s)
{
    const Clock::time_point due = start + static_cast<int>(late.size() + 1) * s.period;
    late.push_back(Ms(Clock::now() - due).count());
    Work(s.work);
}

// Lateness of each tick against start + k * period, in milliseconds.
using Run = std::function<std::vector<double>(const Settings&)>;

std::vector<double> RunPrecise(const Settings& s)
{
    std::vector<double> late;
    panel::PreciseStepTimer timer;
    QEventLoop loop;
    Clock::time_point start;
    timer.SetTick([&] {
        RecordTickAndWork(late, start, s);
        if (static_cast<int>(late.size()) == s.ticks) {
            timer.Stop();
            loop.quit();
        }
    });
    start = Clock::now();
    timer.Start(s.period);
    loop.exec();
    return late;
}

std::vector<double> RunRestarted(const Settings& s)
{
    std::vector<double> late;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    Clock::time_point start;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        RecordTickAndWork(late, start, s);
        if (static_cast<int>(late.size()) == s.ticks)
            loop.quit();
        else
            timer.start(s.period);
    });
    start = Clock::now();
    timer.start(s.period);
    loop.exec();
    return late;
}

std::vector<double> RunRepeating(const Settings& s)
{
    std::vector<double> late;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    Clock::time_point start;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        RecordTickAndWork(late, start, s);
        if (static_cast<int>(late.size()) == s.ticks) {
            timer.stop();
            loop.quit();
        }
    });
    start = Clock::now();
    timer.start(s.period);
    loop.exec();
    return late;
}

void Report(const char* name, const std::vector<double>& late)
{
    double sum = 0;
    for (double l : late)
        sum += l;
    const auto [lo, hi] = std::minmax_element(late.begin(), late.end());
    std::printf("%-26s %6zu %10.2f %10.2f %10.2f %10.2f\n", name, late.size(), *lo, sum / late.size(), *hi, late.back());
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
