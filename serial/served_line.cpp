#include "serial/served_line.h"

#include <utility>

#include "serial/port_name.h"

namespace serial {

std::unique_ptr<ServedLine> ServedLine::Open(std::string_view name, std::uint32_t baud, std::string* error)
{
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = Quoted(name) + ": " + why;
        return nullptr;
    };
    std::string why;
    std::optional<NetworkPort> where = ParseNetworkName(name, &why);
    if (!where)
        return fail(why);
    OpenFailure failure;
    std::unique_ptr<NetworkLine> line = OpenNetworkLine(name, baud, OpenOptions{}, &failure);
    if (!line)
        return fail(DescribeOpenFailure(failure, baud));
    WaitSet waitSet = WaitSet::Make(&why);
    if (!waitSet.Valid() || !waitSet.Add(line->EventHandle(), &why))
        return fail(why);
    return std::unique_ptr<ServedLine>(new ServedLine(std::move(*where), std::move(line), std::move(waitSet)));
}

ServedLine::ServedLine(NetworkPort where, std::unique_ptr<NetworkLine> line, WaitSet waitSet) noexcept
    : m_where(std::move(where)), m_line(std::move(line)), m_waitSet(std::move(waitSet))
{
}

ReadResult ServedLine::Read(std::uint8_t* buffer, std::size_t size, std::size_t* count)
{
    *count = 0;
    for (int piece = 0; piece < kMaxPieces; ++piece) {
        switch (m_line->Receive(buffer, size, count, {})) {
        case ReceiveResult::Data:
            if (*count > 0)
                return ReadResult::Data;
            continue;  // only Telnet commands, answered
        case ReceiveResult::Nothing: break;
        case ReceiveResult::Closed: return ReadResult::HungUp;
        case ReceiveResult::Failed: m_failure = m_line->ReceiveFailure(); return ReadResult::Failed;
        }
        break;
    }
    m_waitSet.Rearm();
    return ReadResult::Nothing;
}

}  // namespace serial
