#pragma once
// Telnet (RFC 854, options by RFC 855) as bytes in and bytes out, without a socket: the
// reader splits what the peer sends into data, option commands and subnegotiations, the
// writer escapes what we send, and the negotiation answers the peer's option commands.
// A network line runs its RFC 2217 session on these.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace serial::telnet {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kIac = 0xFF;
inline constexpr std::uint8_t kDont = 0xFE;
inline constexpr std::uint8_t kDo = 0xFD;
inline constexpr std::uint8_t kWont = 0xFC;
inline constexpr std::uint8_t kWill = 0xFB;
inline constexpr std::uint8_t kSb = 0xFA;  // subnegotiation begins
inline constexpr std::uint8_t kSe = 0xF0;  // subnegotiation ends

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;

// The longest subnegotiation value kept. The COM port option's values are a few bytes and
// a signature a line of text; anything longer is dropped, so that a peer that opens a
// subnegotiation and never ends it costs no more memory than this.
inline constexpr std::size_t kMaxSubnegotiation = 256;

struct Event {
    enum class Kind {
        Data,  // bytes: data, IAC IAC undone
        Will,  // code: the option; Will to Dont in the order of their codes
        Wont,
        Do,
        Dont,
        Subnegotiation,  // code: the option; bytes: its value, IAC IAC undone
        Dropped,         // code: the option of a subnegotiation longer than kMaxSubnegotiation
    };
    Kind kind;
    std::uint8_t code = 0;
    Bytes bytes;
    bool operator==(const Event&) const = default;
};

// The peer's bytes, in pieces of any size split anywhere: a command cut between two reads
// is read whole. Other commands (NOP, GA, ...) are read and ignored. CR NUL and CR LF are
// data as they are: our sessions carry binary data.
class Reader {
public:
    // What the bytes complete, in order, appended to *events; data next to data is one event.
    void Feed(std::span<const std::uint8_t> bytes, std::vector<Event>* events);
    // Bytes held for an unfinished subnegotiation: never more than kMaxSubnegotiation.
    std::size_t Held() const { return value_.size(); }

private:
    enum class State { Data, Iac, Verb, SbOption };
    void Emit(Event::Kind kind, std::uint8_t code, std::vector<Event>* events);
    void Take(std::uint8_t byte, std::vector<Event>* events);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    bool inSub_ = false;     // between IAC SB and IAC SE
    bool dropping_ = false;  // the subnegotiation outgrew the bound: skipped to its IAC SE
    std::uint8_t subOption_ = 0;
    Bytes value_;
};

// Data with each 0xFF doubled, appended to *out.
void WriteData(std::span<const std::uint8_t> data, Bytes* out);
// IAC verb option.
void WriteOption(std::uint8_t verb, std::uint8_t option, Bytes* out);
// IAC SB option value IAC SE, each 0xFF of the value doubled.
void WriteSubnegotiation(std::uint8_t option, std::span<const std::uint8_t> value, Bytes* out);

// Which options each side takes, by role: BINARY and SUPPRESS-GO-AHEAD both ways; the COM
// port option is performed by the client and asked for by the server (RFC 2217); every
// other one is refused.
enum class Role { Client, Server };

// Option states by RFC 1143 in its simple form: an answer goes out only when an option's
// state changes, or to refuse a request, so that two peers never loop. We never ask to
// turn an option off, so there is no "want no".
class Negotiation {
public:
    enum class State { No, Yes, WantYes };

    explicit Negotiation(Role role) : role_(role) {}
    // The answer to the peer's WILL, WONT, DO or DONT, appended to *out (often nothing).
    void Receive(std::uint8_t verb, std::uint8_t option, Bytes* out);
    // Offers to perform an option ourselves: IAC WILL, unless it is already on or asked.
    void Offer(std::uint8_t option, Bytes* out);
    State Ours(std::uint8_t option) const { return ours_[option]; }      // WILL/WONT: we perform it
    State Theirs(std::uint8_t option) const { return theirs_[option]; }  // DO/DONT: the peer does

private:
    bool WeTake(std::uint8_t option, bool ours) const;

    Role role_;
    std::array<State, 256> ours_{};
    std::array<State, 256> theirs_{};
};

}  // namespace serial::telnet
