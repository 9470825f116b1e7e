#pragma once
// The virtual display's line on the network: a listening TCP socket and one client at a
// time, read as the display reads its other lines. Over RFC 2217 the client's bytes go
// through the COM port option's server, which answers it and keeps the line settings it
// asks for, the sender's line; over raw TCP the bytes are taken as they come and the
// sender's settings cannot be seen. The same on every platform: the sockets and the wait
// set are what differ.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/display_line.h"
#include "serial/network_name.h"
#include "serial/network_reader.h"
#include "serial/rfc2217.h"
#include "serial/socket.h"
#include "serial/wait_set.h"

namespace serial {

class ListeningLine final : public NetworkReader {
public:
    // Raw bytes taken from the client in one Read at most: a flood, or a subnegotiation
    // that never ends, leaves the event loop its turn.
    static constexpr std::size_t kMaxPerRead = 64 * 1024;
    // Connections taken from the queue in one Read at most; the rest wait for the next.
    static constexpr int kMaxAccepts = 16;

    // Listens on where (host empty: 127.0.0.1; port 0: a free one) for a display reading
    // at baud. Null, with *error set to one line, when it cannot.
    static std::unique_ptr<ListeningLine> Listen(const NetworkPort& where, std::uint32_t baud, std::string* error);

    // The name it listens on, with the address and the port taken: "rfc2217://127.0.0.1:40123".
    const NetworkPort& Where() const noexcept { return m_where; }

    // Signalled for a new connection and for the client's bytes or its leaving.
    NativeHandle WaitHandle() const noexcept override { return m_waitSet.Handle(); }

    // Data: the client's bytes (over RFC 2217 without the Telnet commands, which are
    // answered here). Nothing otherwise, also when a client left or was refused: the
    // line itself never ends.
    ReadResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* count) override;
    // Never fails: a client's failure is only the client gone.
    std::string ReadFailure() const override { return {}; }

    // Over RFC 2217 the settings the last client asked for; until one asks, the display's
    // own, 8 data bits, no parity, one stop bit. Nullopt over raw TCP.
    std::optional<LineSettings> ClientSettings() const override;
    bool HidesSenderSettings() const noexcept override { return m_where.kind == NetworkPort::Kind::RawTcp; }

private:
    ListeningLine(NetworkPort where, std::uint32_t baud, ListeningSocket listening, WaitSet waitSet);

    // The client gone: the next one may come.
    void Drop();
    void Adopt(Socket client);
    // Sends the RFC 2217 server's answers; false when the client does not take them.
    bool Answer();

    NetworkPort m_where;
    LineSettings m_display;
    ListeningSocket m_listening;
    WaitSet m_waitSet;
    Socket m_client;
    Socket m_waiting;  // came while the client was on; refused unless the client has left
    std::optional<rfc2217::Server> m_server;
    rfc2217::Bytes m_data;
    rfc2217::Bytes m_reply;
};

}  // namespace serial
