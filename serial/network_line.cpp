#include "serial/network_line.h"

#include <algorithm>
#include <cstddef>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "serial/network_name.h"
#include "serial/telnet.h"

namespace serial {

namespace {

using Clock = Socket::Clock;

// How long a network port may take to resolve, connect and set up its remote line.
constexpr auto kOpenBound = std::chrono::seconds(3);
// A small reply to the server's Telnet commands: it has room for it unless it stopped.
constexpr auto kReplyBound = std::chrono::seconds(1);
constexpr std::size_t kReceiveChunk = 4096;

const int kCancelled = static_cast<int>(std::errc::operation_canceled);

std::chrono::milliseconds Left(Clock::time_point deadline)
{
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

std::nullptr_t Refuse(OpenFailure* failure, OpenError kind, int err, std::string words)
{
    *failure = {kind, err, std::move(words)};
    return nullptr;
}

// Sets the remote line through the COM port option before the deadline. Null, with
// *failure set, when the server did not confirm it.
std::unique_ptr<NetworkLine> StartSession(Socket socket, std::uint32_t baudRate, Clock::time_point deadline,
                                          const std::stop_token& stop, OpenFailure* failure)
{
    rfc2217::Client client(baudRate);
    const telnet::Bytes start = client.Start();
    if (const std::uint32_t sent = socket.Send(start.data(), start.size(), Left(deadline), Left(deadline), stop);
        sent != CSerialPort::kErrorSuccess) {
        if (sent == CSerialPort::CancelledError())
            return Refuse(failure, OpenError::Other, kCancelled, "cancelled");
        if (sent == CSerialPort::TimeoutError())
            return Refuse(failure, OpenError::NoAnswer, 0, "the server took no bytes");
        return Refuse(failure, OpenError::Other, static_cast<int>(sent), socket.ErrorText(static_cast<int>(sent)));
    }
    std::uint8_t buffer[kReceiveChunk];
    while (client.State() == rfc2217::Client::Open::Waiting) {
        if (!socket.WaitReadable(deadline, stop)) {
            if (stop.stop_requested())
                return Refuse(failure, OpenError::Other, kCancelled, "cancelled");
            return Refuse(failure, OpenError::NotDeviceServer, 0, client.Reason() + " within 3 s");
        }
        std::size_t count = 0;
        const ReceiveResult got = socket.Receive(buffer, sizeof buffer, &count);
        if (got == ReceiveResult::Closed)
            return Refuse(failure, OpenError::NotDeviceServer, 0, "the server closed the connection");
        if (got == ReceiveResult::Failed)
            return Refuse(failure, OpenError::Other, socket.LastError(), socket.ErrorText(socket.LastError()));
        // What the remote line received before the session began is no answer of the display.
        telnet::Bytes data, reply;
        client.Feed(std::span(buffer, count), &data, &reply);
        if (!reply.empty())
            socket.Send(reply.data(), reply.size(), Left(deadline), Left(deadline), stop);
    }
    if (client.State() == rfc2217::Client::Open::Failed)
        return Refuse(failure, client.RateRefused() ? OpenError::UnsupportedBaud : OpenError::NotDeviceServer, 0,
                      client.Reason());
    *failure = {};
    return std::make_unique<NetworkLine>(std::move(socket), std::move(client), baudRate);
}

}  // namespace

NetworkLine::NetworkLine(Socket socket, std::optional<rfc2217::Client> client, std::uint32_t baudRate) noexcept
    : m_socket(std::move(socket)), m_client(std::move(client)), m_baudRate(baudRate)
{
}

NetworkLine::~NetworkLine()
{
    Close();
}

ReceiveResult NetworkLine::Receive(std::uint8_t* buffer, std::size_t size, std::size_t* count, std::stop_token stop)
{
    *count = 0;
    if (m_closed)
        return ReceiveResult::Closed;
    std::size_t n = 0;
    const ReceiveResult got = m_socket.Receive(buffer, size, &n);
    if (got == ReceiveResult::Closed || got == ReceiveResult::Failed)
        m_closed = true;
    if (got != ReceiveResult::Data)
        return got;
    if (!m_client) {
        *count = n;
        return got;
    }
    telnet::Bytes data, reply;
    m_client->Feed(std::span(buffer, n), &data, &reply);
    if (!reply.empty())
        m_socket.Send(reply.data(), reply.size(), kReplyBound, kReplyBound, stop);
    // Telnet's escapes only shrink what came: the data fits where it was read.
    std::copy(data.begin(), data.end(), buffer);
    *count = data.size();
    return got;
}

std::string NetworkLine::ReceiveFailure() const
{
    return m_socket.ErrorText(m_socket.LastError());
}

bool NetworkLine::TakeInput(std::stop_token stop)
{
    // A sender never answers the display: what the remote line received is dropped.
    std::uint8_t buffer[kReceiveChunk];
    std::size_t count = 0;
    while (Receive(buffer, sizeof buffer, &count, stop) == ReceiveResult::Data) {
    }
    return !m_closed;
}

namespace {

// How long the remote line takes to send count bytes at the rate: 10 bits a byte (start, 8
// data, stop), twice that for a slow line or a server that writes in pieces, and a tenth
// of a second for the way from the server to its line. On raw TCP the rate is the
// server's own; the one chosen is the best guess there is.
std::chrono::milliseconds RemoteLineTime(std::uint32_t baudRate, std::uint32_t count)
{
    const std::uint64_t bits = 2ull * 10 * count;
    return std::chrono::milliseconds(100 + bits * 1000 / std::max<std::uint32_t>(baudRate, 1));
}

}  // namespace

std::uint32_t NetworkLine::Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop)
{
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + WriteTimeout(m_baudRate, count);
    const auto stall = StallTimeout(m_baudRate);
    telnet::Bytes escaped;
    const std::uint8_t* bytes = data;
    std::size_t size = count;
    if (m_client) {
        telnet::WriteData(std::span(data, count), &escaped);
        bytes = escaped.data();
        size = escaped.size();
    }
    // The server may have asked us to stop sending: wait for its resume, within the bounds
    // of a line that stopped taking bytes.
    const Clock::time_point stalledAt = std::min(deadline, start + stall);
    for (;;) {
        if (!TakeInput(stop))
            return kWriteErrors.gone.front();
        if (!m_client || !m_client->Suspended())
            break;
        if (!m_socket.WaitReadable(stalledAt, stop)) {
            if (stop.stop_requested())
                return CSerialPort::CancelledError();
            if (Clock::now() >= stalledAt)
                return CSerialPort::TimeoutError();
        }
    }
    const std::uint32_t result = m_socket.Send(bytes, size, Left(deadline), stall, stop);
    if (result == CSerialPort::kErrorSuccess)
        m_lineSent = Clock::now() + RemoteLineTime(m_baudRate, count);
    return result;
}

NativeHandle NetworkLine::EventHandle() const noexcept
{
    return m_socket.EventHandle();
}

bool NetworkLine::HungUp()
{
    return !TakeInput(std::stop_token());
}

bool NetworkLine::Close()
{
    // The server hands the last message to its line as it comes, and drops from the line
    // what is still unsent when its client leaves: the connection stays until the line had
    // time to send it, never longer than a line that stalled would be waited for.
    const Clock::time_point now = Clock::now();
    std::this_thread::sleep_until(std::min(m_lineSent, now + StallTimeout(m_baudRate)));
    // The device server may not have read the last message yet; it must not be reset away.
    m_socket.Finish(Clock::now() + StallTimeout(m_baudRate));
    return true;
}

std::unique_ptr<NetworkLine> OpenNetworkLine(std::string_view name, std::uint32_t baudRate, const OpenOptions& options,
                                             OpenFailure* failure)
{
    std::string why;
    const std::optional<NetworkPort> port = ParseNetworkName(name, &why);
    if (!port)
        return Refuse(failure, OpenError::BadName, 0, why);
    const Clock::time_point deadline = Clock::now() + kOpenBound;
    Socket socket = Socket::Connect(port->host, port->port, deadline, options.stop, failure);
    if (!socket.Valid())
        return nullptr;
    // Raw TCP: the remote line runs at the device server's own settings.
    if (port->kind == NetworkPort::Kind::RawTcp) {
        *failure = {};
        return std::make_unique<NetworkLine>(std::move(socket), std::nullopt, baudRate);
    }
    return StartSession(std::move(socket), baudRate, deadline, options.stop, failure);
}

}  // namespace serial
