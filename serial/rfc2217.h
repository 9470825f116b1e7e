#pragma once
// The Telnet COM port option (RFC 2217), both ends, as bytes in and bytes out: the client
// that sets a device server's line before a sender writes to it, and the server that a
// virtual display on the network answers with. The socket, the clock and the time-outs
// are the caller's.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "serial/line_settings.h"
#include "serial/telnet.h"

namespace serial::rfc2217 {

using telnet::Bytes;

// The client's commands; the server answers each with its code + 100.
inline constexpr std::uint8_t kSignature = 0;
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerCode = 100;

// A line's settings as the display judges a sender's.
using LineSettings = serial::LineSettings;

// The sender's side. The line is open once the server has taken the COM port option and
// confirmed each of the four settings with the value asked: the rate, 8 data bits, no
// parity, one stop bit. No purge is ever asked for: on the network nothing tells when the
// last message has left the remote line, and a purge could cut it.
class Client {
public:
    enum class Open { Waiting, Open, Failed };

    explicit Client(std::uint32_t baud) : baud_(baud) {}
    // The session's first bytes, to send at once: IAC WILL COM-PORT-OPTION, then the settings.
    Bytes Start();
    // What the server sent, in pieces of any size: its data is appended to *data and the
    // answers it calls for to *reply.
    void Feed(std::span<const std::uint8_t> bytes, Bytes* data, Bytes* reply);

    Open State() const { return state_; }
    // Failed: what the server answered, in one line ("the server set 4800 baud, not 9600").
    // Waiting: what it has not answered yet, for the caller to say when its time runs out
    // ("no answer to the COM port option").
    std::string Reason() const;
    // The server asked us to stop sending (FLOWCONTROL-SUSPEND) and has not resumed.
    bool Suspended() const { return suspended_; }
    // Failed because the server set another rate than the one asked.
    bool RateRefused() const { return rateRefused_; }
    // Subnegotiations dropped for their length.
    std::size_t Dropped() const { return dropped_; }

private:
    void Acknowledged(std::uint8_t code, std::span<const std::uint8_t> value);
    void Fail(std::string reason);

    std::uint32_t baud_;
    telnet::Reader reader_;
    telnet::Negotiation negotiation_{telnet::Role::Client};
    Open state_ = Open::Waiting;
    std::string failure_;
    std::array<bool, 4> confirmed_{};  // rate, data bits, parity, stop bits
    bool suspended_ = false;
    bool rateRefused_ = false;
    std::size_t dropped_ = 0;
};

// The virtual display's side: it takes the client's COM port option, acknowledges every
// setting with the value in use (a value 0 asks for it without a change), and keeps the
// settings the client asked for, which are the sender's line.
class Server {
public:
    explicit Server(const LineSettings& initial = {9600, 8, 'N', 1});
    void Feed(std::span<const std::uint8_t> bytes, Bytes* data, Bytes* reply);

    // The sender's line: the settings the client set, else the initial ones.
    LineSettings Line() const;
    // The client took the COM port option: its line settings are known.
    bool ComPort() const { return negotiation_.Theirs(telnet::kComPortOption) == telnet::Negotiation::State::Yes; }
    std::size_t Dropped() const { return dropped_; }

private:
    void Command(std::uint8_t code, std::span<const std::uint8_t> value, Bytes* reply);
    void Control(std::uint8_t value, Bytes* reply);

    telnet::Reader reader_;
    telnet::Negotiation negotiation_{telnet::Role::Server};
    std::uint32_t baud_;
    std::uint8_t dataSize_;
    std::uint8_t parity_;    // RFC 2217's codes: 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize_;  // 1, 2, or 3 for 1.5
    // SET-CONTROL's settings in force: outbound flow control, BREAK, DTR, RTS, inbound flow.
    std::array<std::uint8_t, 5> control_{1, 6, 8, 11, 14};
    std::size_t dropped_ = 0;
};

}  // namespace serial::rfc2217
