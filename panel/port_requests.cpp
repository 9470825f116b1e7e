#include "panel/port_requests.h"

#include <algorithm>

namespace panel {

std::optional<std::uint64_t> PortRequests::AskOpen()
{
    if (m_closed)
        return std::nullopt;
    ++m_unanswered;
    m_openAwaited = ++m_last;
    m_line = 0;
    return m_openAwaited;
}

std::optional<std::uint64_t> PortRequests::AskWrite(Note note)
{
    if (m_closed)
        return std::nullopt;
    ++m_unanswered;
    m_writes.push_back({++m_last, m_line, note});
    return m_last;
}

bool PortRequests::OpenAnswered(std::uint64_t request, bool ok)
{
    --m_unanswered;
    if (request == 0 || request != m_openAwaited)
        return false;
    m_openAwaited = 0;
    if (ok)
        m_line = request;
    return true;
}

std::optional<PortRequests::PendingWrite> PortRequests::WriteAnswered(std::uint64_t request)
{
    --m_unanswered;
    const auto it =
        std::find_if(m_writes.begin(), m_writes.end(), [&](const PendingWrite& w) { return w.request == request; });
    if (it == m_writes.end())
        return std::nullopt;
    const PendingWrite write = *it;
    m_writes.erase(it);
    return write;
}

std::optional<PortRequests::PendingWrite> PortRequests::GiveUpLine()
{
    m_openAwaited = 0;
    m_line = 0;
    std::optional<PendingWrite> last;
    if (!m_writes.empty())
        last = m_writes.back();
    m_writes.clear();
    return last;
}

bool PortRequests::Chosen()
{
    if (m_writes.empty())
        return false;
    m_writesBeforeChoice = m_last;
    // The first check only notes where the line stands: a write the port's thread has not
    // begun yet is no stalled one.
    m_progressSeen = kProgressUnseen;
    return true;
}

PortRequests::Stall PortRequests::CheckStall(std::uint64_t progress)
{
    const bool waiting = std::any_of(m_writes.begin(), m_writes.end(),
                                     [&](const PendingWrite& w) { return w.request <= m_writesBeforeChoice; });
    if (!waiting)
        return Stall::Done;
    if (progress != m_progressSeen) {
        m_progressSeen = progress;
        return Stall::Moving;
    }
    return Stall::Stalled;
}

void PortRequests::Close()
{
    GiveUpLine();
    m_unanswered = 0;
    m_closed = true;
}

}  // namespace panel
