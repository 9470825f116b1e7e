#include "serial/rfc2217.h"

#include <string_view>
#include <vector>

namespace serial::rfc2217 {

namespace {

using telnet::Event;
using State = telnet::Negotiation::State;

constexpr std::string_view kOurSignature = "display-sim";
// Parity by RFC 2217's code, 1 to 5.
constexpr std::string_view kParityLetters = "?NOEMS";
constexpr std::string_view kParityNames[] = {"", "none", "odd", "even", "mark", "space"};

// IAC SB COM-PORT-OPTION code value IAC SE.
void Send(std::uint8_t code, std::span<const std::uint8_t> value, Bytes* out)
{
    Bytes command{code};
    command.insert(command.end(), value.begin(), value.end());
    telnet::WriteSubnegotiation(telnet::kComPortOption, command, out);
}

std::array<std::uint8_t, 4> NetworkOrder(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::uint32_t FromNetworkOrder(std::span<const std::uint8_t> value)
{
    return std::uint32_t{value[0]} << 24 | std::uint32_t{value[1]} << 16 | std::uint32_t{value[2]} << 8 | value[3];
}

std::uint8_t Verb(Event::Kind kind)
{
    return static_cast<std::uint8_t>(telnet::kWill + (static_cast<int>(kind) - static_cast<int>(Event::Kind::Will)));
}

bool IsVerb(Event::Kind kind)
{
    return kind == Event::Kind::Will || kind == Event::Kind::Wont || kind == Event::Kind::Do
           || kind == Event::Kind::Dont;
}

std::string ParityName(std::uint8_t code)
{
    if (code >= 1 && code <= 5)
        return std::string(kParityNames[code]) + " parity";
    return "parity code " + std::to_string(code);
}

std::string StopBitsName(std::uint8_t code)
{
    if (code == 1)
        return "1 stop bit";
    if (code == 2)
        return "2 stop bits";
    if (code == 3)
        return "1.5 stop bits";
    return "stop size code " + std::to_string(code);
}

// The four settings the client asks for, in the order of Client::confirmed_.
constexpr std::string_view kSettingNames[] = {"the rate", "the data bits", "the parity", "the stop bits"};

}  // namespace

Bytes Client::Start()
{
    Bytes out;
    negotiation_.Offer(telnet::kComPortOption, &out);
    const std::uint8_t dataSize = 8, noParity = 1, oneStopBit = 1;
    Send(kSetBaudRate, NetworkOrder(baud_), &out);
    Send(kSetDataSize, {&dataSize, 1}, &out);
    Send(kSetParity, {&noParity, 1}, &out);
    Send(kSetStopSize, {&oneStopBit, 1}, &out);
    return out;
}

void Client::Fail(std::string reason)
{
    state_ = Open::Failed;
    failure_ = std::move(reason);
}

void Client::Feed(std::span<const std::uint8_t> bytes, Bytes* data, Bytes* reply)
{
    std::vector<Event> events;
    reader_.Feed(bytes, &events);
    for (const Event& event : events) {
        if (event.kind == Event::Kind::Data) {
            data->insert(data->end(), event.bytes.begin(), event.bytes.end());
        } else if (IsVerb(event.kind)) {
            // Refused when asked, or turned off again before the line is open.
            const bool offered = negotiation_.Ours(telnet::kComPortOption) != State::No;
            negotiation_.Receive(Verb(event.kind), event.code, reply);
            if (offered && negotiation_.Ours(telnet::kComPortOption) == State::No && state_ == Open::Waiting)
                Fail("the server refused the COM port option");
        } else if (event.kind == Event::Kind::Subnegotiation) {
            if (event.code == telnet::kComPortOption && !event.bytes.empty())
                Acknowledged(event.bytes[0], std::span(event.bytes).subspan(1));
        } else if (event.kind == Event::Kind::Dropped) {
            ++dropped_;
        }
        if (state_ == Open::Waiting && negotiation_.Ours(telnet::kComPortOption) == State::Yes
            && confirmed_ == std::array<bool, 4>{true, true, true, true})
            state_ = Open::Open;
    }
}

void Client::Acknowledged(std::uint8_t code, std::span<const std::uint8_t> value)
{
    // Some servers send the client's codes for these, without the 100; either is obeyed.
    if (code == kServerCode + kFlowControlSuspend || code == kFlowControlSuspend)
        suspended_ = true;
    if (code == kServerCode + kFlowControlResume || code == kFlowControlResume)
        suspended_ = false;
    // Acknowledgements are matched by their code alone; those of other commands, line and
    // modem states, the signature and the masks tell nothing the open needs.
    if (state_ != Open::Waiting || code < kServerCode + kSetBaudRate || code > kServerCode + kSetStopSize)
        return;
    const int setting = code - kServerCode - kSetBaudRate;
    const std::size_t size = setting == 0 ? 4 : 1;
    if (value.size() < size) {
        Fail("the server gave no value for " + std::string(kSettingNames[setting]));
        return;
    }
    std::string answered;
    rateRefused_ = setting == 0 && FromNetworkOrder(value) != baud_;
    if (rateRefused_)
        answered = std::to_string(FromNetworkOrder(value)) + " baud, not " + std::to_string(baud_);
    else if (setting == 1 && value[0] != 8)
        answered = std::to_string(value[0]) + " data bits, not 8";
    else if (setting == 2 && value[0] != 1)
        answered = ParityName(value[0]) + ", not none";
    else if (setting == 3 && value[0] != 1)
        answered = StopBitsName(value[0]) + ", not 1";
    if (!answered.empty())
        Fail("the server set " + answered);
    else
        confirmed_[setting] = true;
}

std::string Client::Reason() const
{
    if (state_ == Open::Failed)
        return failure_;
    if (state_ == Open::Open)
        return {};
    if (negotiation_.Ours(telnet::kComPortOption) != State::Yes)
        return "no answer to the COM port option";
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < confirmed_.size(); ++i)
        if (!confirmed_[i])
            missing.push_back(kSettingNames[i]);
    std::string reason = "no answer to ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0)
            reason += i + 1 == missing.size() ? " and " : ", ";
        reason += missing[i];
    }
    return reason;
}

Server::Server(const LineSettings& initial)
    : baud_(initial.baud), dataSize_(static_cast<std::uint8_t>(initial.dataBits)),
      parity_(static_cast<std::uint8_t>(
          kParityLetters.find(initial.parity) == std::string_view::npos ? 1 : kParityLetters.find(initial.parity))),
      stopSize_(initial.stopBits == 2 ? 2 : 1)
{
}

LineSettings Server::Line() const
{
    // 1.5 stop bits, as a UART sends two at five data bits, is told as two: both are more
    // than the one a display needs, and a terminal has no other way to say it.
    return {baud_, dataSize_, kParityLetters[parity_], stopSize_ == 1 ? 1 : 2};
}

void Server::Feed(std::span<const std::uint8_t> bytes, Bytes* data, Bytes* reply)
{
    std::vector<Event> events;
    reader_.Feed(bytes, &events);
    for (const Event& event : events) {
        if (event.kind == Event::Kind::Data)
            data->insert(data->end(), event.bytes.begin(), event.bytes.end());
        else if (IsVerb(event.kind))
            negotiation_.Receive(Verb(event.kind), event.code, reply);
        else if (event.kind == Event::Kind::Subnegotiation && event.code == telnet::kComPortOption
                 && !event.bytes.empty())
            Command(event.bytes[0], std::span(event.bytes).subspan(1), reply);
        else if (event.kind == Event::Kind::Dropped)
            ++dropped_;
    }
}

void Server::Command(std::uint8_t code, std::span<const std::uint8_t> value, Bytes* reply)
{
    // A setting outside the range is not taken; the answer then says the one in use.
    const std::uint8_t first = value.empty() ? 0 : value[0];
    const std::uint8_t answer = kServerCode + code;
    switch (code) {
    case kSetBaudRate:
        if (value.size() >= 4 && FromNetworkOrder(value) != 0)
            baud_ = FromNetworkOrder(value);
        Send(answer, NetworkOrder(baud_), reply);
        break;
    case kSetDataSize:
        if (first >= 5 && first <= 8)
            dataSize_ = first;
        Send(answer, {&dataSize_, 1}, reply);
        break;
    case kSetParity:
        if (first >= 1 && first <= 5)
            parity_ = first;
        Send(answer, {&parity_, 1}, reply);
        break;
    case kSetStopSize:
        if (first >= 1 && first <= 3)
            stopSize_ = first;
        Send(answer, {&stopSize_, 1}, reply);
        break;
    case kSetControl:
        if (!value.empty())
            Control(first, reply);
        break;
    case kSignature:
        // An empty signature asks for ours; a client's own is only for its peer's logs.
        if (value.empty())
            Send(answer, {reinterpret_cast<const std::uint8_t*>(kOurSignature.data()), kOurSignature.size()}, reply);
        break;
    case kSetLineStateMask:
    case kSetModemStateMask:
    case kPurgeData:
        // Nothing is buffered and no line or modem state is told: acknowledged as asked.
        Send(answer, {&first, 1}, reply);
        break;
    default: break;  // notifications polled and flow control: nothing the display has to give
    }
}

void Server::Control(std::uint8_t value, Bytes* reply)
{
    // SET-CONTROL's values in five groups (outbound flow control, BREAK, DTR, RTS, inbound
    // flow control), each with one value that asks for the group's setting.
    static constexpr std::uint8_t kGroup[] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 4, 0, 4, 0};
    static constexpr std::uint8_t kRequest[] = {0, 4, 7, 10, 13};
    if (value >= std::size(kGroup))
        return;
    const std::uint8_t group = kGroup[value];
    if (value != kRequest[group])
        control_[group] = value;
    Send(kServerCode + kSetControl, {&control_[group], 1}, reply);
}

}  // namespace serial::rfc2217
