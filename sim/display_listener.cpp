#include "sim/display_listener.h"

#include <algorithm>

#include "sim/gbk_decoder.h"

namespace sim {
namespace {

// Text in the display's code page (GBK) for the log: each character as it came, a control
// character as its picture (␇), a byte GBK does not know as U+FFFD.
QString FromDisplayCodePage(std::string_view bytes)
{
    QString text;
    const GbkDecoder gbk;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 || !gbk.Usable()) {
            text += b < 0x20 ? QChar(0x2400 + b) : b == 0x7F ? QChar(0x2421) : b < 0x80 ? QChar(b) : QChar(0xFFFD);
            ++i;
            continue;
        }
        const QString pair = i + 1 < bytes.size() ? gbk.Pair(bytes[i], bytes[i + 1]) : QString();
        if (!pair.isEmpty()) {
            text += pair;
            i += 2;
        } else {
            text += QChar(0xFFFD);
            ++i;
        }
    }
    return text;
}

}  // namespace

namespace {
// Enough for a burst of many messages; more waits for the next turn of the event loop, so
// a flood never starves the window.
constexpr std::size_t kMaxPerTurn = 64 * 1024;
}  // namespace

DisplayListener::DisplayListener(serial::DisplayLine& port, QObject* parent)
    : QObject(parent), m_port(port), m_notifier(port.WaitHandle(), [this] { ReadAvailable(); }),
      m_settings(port.ClientSettings())
{
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
    serial::ReadResult result = serial::ReadResult::Nothing;
    while (static_cast<std::size_t>(bytes.size()) < kMaxPerTurn) {
        std::uint8_t buf[4096];
        std::size_t n = 0;
        result = m_port.Read(buf, sizeof buf, &n);
        if (result != serial::ReadResult::Data)
            break;
        bytes.append(reinterpret_cast<const char*>(buf), static_cast<qsizetype>(n));
    }

    if (!bytes.isEmpty()) {
        // The settings the bytes were sent with: a client sets them before it writes.
        CheckLine();
        ReceivedPiece piece;
        piece.at = QDateTime::currentDateTime();
        piece.sender = m_settings;
        if (m_settings)
            piece.misread = QString::fromStdString(MisreadNote(*m_settings, m_port.Baud()));
        std::vector<DisplayState> states;
        // A display at its rate reads such bytes as other bytes, nothing it would take for
        // the sender's message: the face takes none of it, and the log says why.
        const bool changed =
            piece.misread.isEmpty()
            && m_decoder.Feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size()), [&](std::string_view what, bool stateChanged) {
                                  if (piece.commandCount++ < kCommandsKept)
                                      piece.commands << FromDisplayCodePage(what);
                                  if (stateChanged && m_everyState)
                                      states.push_back(m_decoder.State());
                              });
        piece.bytes = std::move(bytes);
        emit received(piece);
        for (const DisplayState& s : states)
            emit stateReached(s);
        if (changed)
            emit stateChanged();
    }

    if (result == serial::ReadResult::HungUp || result == serial::ReadResult::Failed) {
        m_notifier.SetEnabled(false);  // a dead line would wake the loop for ever
        m_lineCheck.stop();
        emit lineLost(result == serial::ReadResult::HungUp ? QStringLiteral("the line was closed")
                                                           : QString::fromStdString(m_port.ReadFailure()));
    }
}

}  // namespace sim
