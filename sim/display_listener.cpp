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
    : QObject(parent), m_port(port), m_notifier(port.ReadFd(), QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &DisplayListener::ReadAvailable);
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
        std::vector<std::string> done;
        const bool changed =
            m_decoder.Feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size(), &done);
        QStringList commands;
        for (const std::string& c : done) commands << QString::fromStdString(c);
        emit received(QDateTime::currentDateTime(), bytes, commands);
        if (changed) emit stateChanged();
    }

    if (result == ReadResult::HungUp || result == ReadResult::Failed) {
        m_notifier.setEnabled(false);  // a dead line would wake the loop for ever
        emit lineLost(result == ReadResult::HungUp ? QStringLiteral("the line was closed")
                                                   : QString::fromLocal8Bit(std::strerror(err)));
    }
}

}  // namespace sim
