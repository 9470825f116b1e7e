#pragma once
// The virtual display as a client of a device server: it connects to a serial line the
// server serves (rfc2217:// or tcp://) as a sender does, through the sender's network
// line, and reads what the remote line receives. The same on every platform: the sockets
// and the wait set are what differ.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "serial/network_line.h"
#include "serial/network_name.h"
#include "serial/network_reader.h"
#include "serial/wait_set.h"

namespace serial {

class ServedLine final : public NetworkReader {
public:
    // Pieces of the server's input taken in one Read at most when they hold only Telnet
    // commands: a server that says nothing else leaves the event loop its turn.
    static constexpr int kMaxPieces = 16;

    // Connects to name as OpenNetworkLine does, within its bound: on RFC 2217 the remote
    // line is set to baud, 8 data bits, no parity, one stop bit; on raw TCP it keeps the
    // server's own settings. What the remote line received before it was set is dropped.
    // Null, with *error set to one line naming the port, when it does not open.
    static std::unique_ptr<ServedLine> Open(std::string_view name, std::uint32_t baud, std::string* error);

    // The port's name in its one form: "rfc2217://10.0.0.7:4001".
    const NetworkPort& Where() const noexcept { return m_where; }

    NativeHandle WaitHandle() const noexcept override { return m_waitSet.Handle(); }
    // Data: what the remote line received. HungUp once the server closed or reset the
    // connection, as a device unplugged; nothing comes after it.
    ReadResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* count) override;
    std::string ReadFailure() const override { return m_failure; }
    // The remote line's settings are the display's own (RFC 2217) or the server's, which
    // raw TCP does not tell.
    std::optional<LineSettings> ClientSettings() const override { return std::nullopt; }
    bool HidesSenderSettings() const noexcept override { return m_where.kind == NetworkPort::Kind::RawTcp; }

private:
    ServedLine(NetworkPort where, std::unique_ptr<NetworkLine> line, WaitSet waitSet) noexcept;

    NetworkPort m_where;
    std::unique_ptr<NetworkLine> m_line;
    WaitSet m_waitSet;  // after m_line: the set goes before the socket it waits on closes
    std::string m_failure;
};

}  // namespace serial
