#pragma once
// A display on the network as one more kind of line: a TCP connection to a device server,
// raw (tcp://) or with the remote line set through the Telnet COM port option
// (rfc2217://). The same on every platform, built on serial::Socket. Private to the serial
// library.

#include <cstddef>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "serial/line.h"
#include "serial/rfc2217.h"
#include "serial/socket.h"

namespace serial {

class NetworkLine final : public Line {
public:
    // client: the session that set the remote line; none on raw TCP.
    NetworkLine(Socket socket, std::optional<rfc2217::Client> client, std::uint32_t baudRate) noexcept;
    ~NetworkLine() override;

    // One send of the whole message (0xFF doubled on RFC 2217), within the time-outs of a
    // line at the rate; while the server has suspended our sending, it waits within the
    // same bounds. No purge: on the network nothing tells when the last message left the
    // remote line, and a purge could cut it.
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t count, std::stop_token stop) override;
    NativeHandle EventHandle() const noexcept override;
    // Takes what the server sent, answers its Telnet commands and discards its data; true
    // once the server closed or reset the connection.
    bool HungUp() override;
    bool Close() override;

    // Reads one piece of what the server sent, never blocking, and answers its Telnet
    // commands: Data with *count of the bytes the remote line received, none when the
    // piece held only commands; Nothing when no byte waits; Closed once the server closed
    // or reset the connection; Failed on any other error (ReceiveFailure says which).
    ReceiveResult Receive(std::uint8_t* buffer, std::size_t size, std::size_t* count, std::stop_token stop);
    std::string ReceiveFailure() const;

private:
    // Reads everything waiting. False once the connection is gone.
    bool TakeInput(std::stop_token stop);

    Socket m_socket;
    std::optional<rfc2217::Client> m_client;
    std::uint32_t m_baudRate;
    bool m_closed = false;
    // When the remote line will have sent the last message at its rate: a device server
    // drops what its line has not sent yet once its client leaves.
    std::chrono::steady_clock::time_point m_lineSent{};
};

// Connects to a network port's name (IsNetworkName) and, on RFC 2217, sets the remote line
// to baudRate 8N1, all within 3 s and ended at once by options.stop. Null, with *failure
// set, when any step failed: BadName for a name not well formed, HostNotFound,
// ConnectionRefused, NoAnswer, NotDeviceServer, UnsupportedBaud when the server set
// another rate.
std::unique_ptr<NetworkLine> OpenNetworkLine(std::string_view name, std::uint32_t baudRate, const OpenOptions& options,
                                             OpenFailure* failure);

}  // namespace serial
