#pragma once
// Reads the line the display listens on as bytes arrive, in the Qt event loop, and keeps
// what the display shows.

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <optional>
#include <vector>

#include "common/handle_notifier.h"
#include "sim/display_decoder.h"
#include "sim/line_settings.h"
#include "serial/display_line.h"

namespace sim {

// What one piece of input held, as the log shows it.
struct ReceivedPiece {
    QDateTime at;
    QByteArray bytes;
    QStringList commands;                // the first kCommandsKept commands it completed
    qsizetype commandCount = 0;          // all of them
    QString misread;                     // why a real display would not read it; empty when it would
    std::optional<LineSettings> sender;  // the settings it came with, where the line tells
};

class DisplayListener : public QObject {
    Q_OBJECT
public:
    // Of a piece with many commands (a flood) only the first are described.
    static constexpr qsizetype kCommandsKept = 8;
    // How often the line is looked at for what no event tells: a client's settings and
    // the exclusive mode a killed client left behind.
    static constexpr int kLineCheckMs = 250;

    // The port must stay open while the listener lives.
    explicit DisplayListener(serial::DisplayLine& port, QObject* parent = nullptr);

    const DisplayState& State() const noexcept { return m_decoder.State(); }
    // The rate the display reads at.
    std::uint32_t Baud() const noexcept { return m_port.Baud(); }

    // With true, stateReached is emitted for every command that changed the state, not
    // only once per piece: what --text prints.
    void SetReportEveryState(bool every) { m_everyState = every; }

    // Reads what is waiting now; the event loop calls it whenever bytes arrive.
    void ReadAvailable();
    // Looks at the line: clears exclusive mode a killed client left, and tells when a
    // client changed the line settings. A timer calls it.
    void CheckLine();

    // The settings a client last set on the pseudo-terminal, as "9600 8N1".
    std::optional<LineSettings> ClientSettings() const { return m_settings; }
    // Whether the sender's settings exist but cannot be seen (a pipe on Windows, raw TCP).
    bool HidesSenderSettings() const noexcept { return m_port.HidesSenderSettings(); }
    // Whether the line is one on the network.
    bool OnNetwork() const noexcept { return m_port.OnNetwork(); }

signals:
    // One piece of input, before the states it led to.
    void received(const sim::ReceivedPiece& piece);
    // A state a command led to (SetReportEveryState(true)), in order.
    void stateReached(const sim::DisplayState& state);
    // After a piece of input that changed what the display shows.
    void stateChanged();
    // A client set other line settings on the pseudo-terminal.
    void lineSettingsChanged(const sim::LineSettings& settings);
    // The line is gone (a device unplugged, a pseudo-terminal closed); nothing more comes.
    void lineLost(const QString& why);

private:
    serial::DisplayLine& m_port;
    DisplayDecoder m_decoder;
    common::HandleNotifier m_notifier;
    QTimer m_lineCheck;
    std::optional<LineSettings> m_settings;
    bool m_everyState = false;
};

}  // namespace sim
