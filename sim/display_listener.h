#pragma once
// Reads the line the display listens on as bytes arrive, in the Qt event loop, and keeps
// what the display shows.

#include <QDateTime>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include "sim/display_decoder.h"
#include "sim/listen_port.h"

namespace sim {

class DisplayListener : public QObject {
    Q_OBJECT
public:
    // The port must stay open while the listener lives.
    explicit DisplayListener(ListenPort& port, QObject* parent = nullptr);

    const DisplayState& State() const noexcept { return m_decoder.State(); }

    // Reads what is waiting now; the event loop calls it whenever bytes arrive.
    void ReadAvailable();

signals:
    // One piece of input: the bytes, and the commands it completed.
    void received(const QDateTime& at, const QByteArray& bytes, const QStringList& commands);
    // After a piece of input that changed what the display shows.
    void stateChanged();
    // The line is gone (a device unplugged, a pseudo-terminal closed); nothing more comes.
    void lineLost(const QString& why);

private:
    ListenPort& m_port;
    DisplayDecoder m_decoder;
    QSocketNotifier m_notifier;
};

}  // namespace sim
