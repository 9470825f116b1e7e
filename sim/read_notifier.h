#pragma once
// Wakes the Qt event loop when the line the display listens on has something to read:
// a socket notifier on the descriptor on POSIX, an event notifier on the read's event on
// Windows. One file per platform implements it.

#include <QObject>

#include <functional>
#include <memory>

namespace sim {

class ListenPort;

class ReadNotifier {
public:
    // Calls onReady from the event loop whenever the port has something to say.
    ReadNotifier(const ListenPort& port, std::function<void()> onReady);
    ~ReadNotifier();
    ReadNotifier(const ReadNotifier&) = delete;
    ReadNotifier& operator=(const ReadNotifier&) = delete;

    // Off for a line that is gone, which would otherwise wake the loop for ever.
    void SetEnabled(bool enabled);

private:
    std::unique_ptr<QObject> m_notifier;
};

}  // namespace sim
