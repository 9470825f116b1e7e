#include "sim/display_listener.h"

#include <cerrno>
#include <cstring>

namespace sim {

namespace {
// Enough for a burst of many messages; more waits for the next turn of the event loop, so
// a flood never starves the window.
constexpr std::size_t kMaxPerTurn = 64 * 1024;
}  // namespace

DisplayListener::DisplayListener(ListenPort& port, QObject* parent)
    : QObject(parent), m_port(port), m_notifier(port.ReadFd(), QSocketNotifier::Read),
      m_settings(port.ClientSettings())
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &DisplayListener::ReadAvailable);
    // The kernel tells the display nothing when a client closes the terminal or changes its
    // settings, as long as the display holds the terminal open itself.
    if (m_settings) {
        m_lineCheck.setInterval(kLineCheckMs);
        connect(&m_lineCheck, &QTimer::timeout, this, &DisplayListener::CheckLine);
        m_lineCheck.start();
    }
}

void DisplayListener::CheckLine()
{
    m_port.ReleaseAbandonedExclusive();
    const std::optional<LineSettings> now = m_port.ClientSettings();
    if (now && now != m_settings) {
        m_settings = now;
        emit lineSettingsChanged(*now);
    }
}

void DisplayListener::ReadAvailable()
{
    QByteArray bytes;
    ReadResult result = ReadResult::Nothing;
    int err = 0;
    while (static_cast<std::size_t>(bytes.size()) < kMaxPerTurn) {
        std::uint8_t buf[4096];
        std::size_t n = 0;
        result = m_port.Read(buf, sizeof buf, &n);
        err = errno;
        if (result != ReadResult::Data) break;
        bytes.append(reinterpret_cast<const char*>(buf), static_cast<qsizetype>(n));
    }

    if (!bytes.isEmpty()) {
        // The settings the bytes were sent with: a client sets them before it writes.
        CheckLine();
        ReceivedPiece piece;
        piece.at = QDateTime::currentDateTime();
        if (m_settings) piece.misread = QString::fromStdString(MisreadNote(*m_settings, m_port.Baud()));

        std::vector<DisplayState> states;
        const bool changed = m_decoder.Feed(
            reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()),
            [&](std::string_view what, bool stateChanged) {
                if (piece.commandCount++ < kCommandsKept)
                    piece.commands << QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()));
                if (stateChanged && m_everyState) states.push_back(m_decoder.State());
            });
        piece.bytes = std::move(bytes);
        emit received(piece);
        for (const DisplayState& s : states) emit stateReached(s);
        if (changed) emit stateChanged();
    }

    if (result == ReadResult::HungUp || result == ReadResult::Failed) {
        m_notifier.setEnabled(false);  // a dead line would wake the loop for ever
        m_lineCheck.stop();
        emit lineLost(result == ReadResult::HungUp ? QStringLiteral("the line was closed")
                                                   : QString::fromLocal8Bit(std::strerror(err)));
    }
}

}  // namespace sim
