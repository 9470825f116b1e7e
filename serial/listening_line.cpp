#include "serial/listening_line.h"

#include <algorithm>
#include <chrono>
#include <span>

namespace serial {

namespace {

// A client that leaves the display's answers unread this long is let go: the display
// never waits on a sender.
constexpr std::chrono::milliseconds kAnswerBound{1000};

}  // namespace

std::unique_ptr<ListeningLine> ListeningLine::Listen(const NetworkPort& where, std::uint32_t baud, std::string* error)
{
    ListeningSocket listening = ListeningSocket::Listen(where.host, where.port, error);
    if (!listening.Valid())
        return nullptr;
    WaitSet waitSet = WaitSet::Make(error);
    if (!waitSet.Valid() || !waitSet.Add(listening.EventHandle(), error))
        return nullptr;
    NetworkPort taken = where;
    if (taken.host.empty())
        taken.host = "127.0.0.1";
    taken.port = listening.Port();
    return std::unique_ptr<ListeningLine>(
        new ListeningLine(std::move(taken), baud, std::move(listening), std::move(waitSet)));
}

ListeningLine::ListeningLine(NetworkPort where, std::uint32_t baud, ListeningSocket listening, WaitSet waitSet)
    : m_where(std::move(where)), m_display{baud, 8, 'N', 1}, m_listening(std::move(listening)),
      m_waitSet(std::move(waitSet))
{
}

std::optional<LineSettings> ListeningLine::ClientSettings() const
{
    if (HidesSenderSettings())
        return std::nullopt;
    return m_server ? m_server->Line() : m_display;
}

void ListeningLine::Adopt(Socket client)
{
    std::string error;
    if (!client.Valid() || !m_waitSet.Add(client.EventHandle(), &error))
        return;  // a client the display cannot wait on is refused
    m_client = std::move(client);
    if (!HidesSenderSettings())
        m_server.emplace(m_display);
}

void ListeningLine::Drop()
{
    m_waitSet.Remove(m_client.EventHandle());
    // The settings it asked for stay the sender's line until the next client asks, as a
    // pseudo-terminal keeps its last client's.
    m_client.Close();
}

bool ListeningLine::Answer()
{
    return m_reply.empty()
           || m_client.Send(m_reply.data(), m_reply.size(), kAnswerBound, kAnswerBound, {})
                  == CSerialPort::kErrorSuccess;
}

ReadResult ListeningLine::Read(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    int accepts = 0;
    const auto next = [&] { return accepts++ < kMaxAccepts ? m_listening.Accept() : Socket(); };
    // A connection that comes while the client is on waits here until the client's bytes
    // are read: if the client has left meanwhile, it takes its place; else it is refused.
    // Those behind it stay in the queue, each looked at in its turn.
    if (m_client.Valid() && !m_waiting.Valid())
        m_waiting = next();
    std::size_t taken = 0;
    while (taken < kMaxPerRead) {
        if (!m_client.Valid()) {
            Adopt(m_waiting.Valid() ? std::move(m_waiting) : next());
            if (!m_client.Valid())
                break;  // nobody more in this turn
        }
        std::size_t n = 0;
        const ReceiveResult got = m_client.Receive(buffer, std::min(size, kMaxPerRead - taken), &n);
        if (got == ReceiveResult::Nothing)
            break;
        if (got != ReceiveResult::Data) {
            Drop();  // the client closed, reset or failed: the next one may come
            continue;
        }
        taken += n;
        if (HidesSenderSettings()) {
            *count = n;
            return ReadResult::Data;
        }
        // Telnet's escapes only shrink what came: the data fits where it was read.
        m_data.clear();
        m_reply.clear();
        m_server->Feed(std::span<const std::uint8_t>(buffer, n), &m_data, &m_reply);
        if (!Answer()) {
            Drop();
            continue;
        }
        if (!m_data.empty()) {
            std::copy(m_data.begin(), m_data.end(), buffer);
            *count = m_data.size();
            return ReadResult::Data;
        }
    }
    // The client is on and has said all it had to say: the one that waited is refused.
    if (m_client.Valid() && taken < kMaxPerRead)
        m_waiting.Close();
    m_waitSet.Rearm();
    return ReadResult::Nothing;
}

}  // namespace serial
