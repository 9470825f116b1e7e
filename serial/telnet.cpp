#include "serial/telnet.h"

#include <utility>

namespace serial::telnet {

void Reader::Emit(Event::Kind kind, std::uint8_t code, std::vector<Event>* events)
{
    events->push_back({kind, code, {}});
}

// One data byte: the subnegotiation's value while one is open, else the data.
void Reader::Take(std::uint8_t byte, std::vector<Event>* events)
{
    if (inSub_) {
        if (dropping_)
            return;
        if (value_.size() == kMaxSubnegotiation) {
            dropping_ = true;
            Bytes().swap(value_);
            Emit(Event::Kind::Dropped, subOption_, events);
            return;
        }
        value_.push_back(byte);
        return;
    }
    if (events->empty() || events->back().kind != Event::Kind::Data)
        Emit(Event::Kind::Data, 0, events);
    events->back().bytes.push_back(byte);
}

void Reader::Feed(std::span<const std::uint8_t> bytes, std::vector<Event>* events)
{
    for (const std::uint8_t byte : bytes) {
        switch (state_) {
        case State::Data:
            if (byte == kIac)
                state_ = State::Iac;
            else
                Take(byte, events);
            break;
        case State::Iac:
            state_ = State::Data;
            if (byte == kIac) {
                Take(byte, events);
            } else if (byte == kSb) {
                state_ = State::SbOption;
            } else if (byte == kSe) {
                if (inSub_ && !dropping_)
                    events->push_back({Event::Kind::Subnegotiation, subOption_, std::exchange(value_, {})});
                inSub_ = false;
                dropping_ = false;
                value_.clear();
            } else if (byte >= kWill && byte <= kDont) {
                verb_ = byte;
                state_ = State::Verb;
            }
            // NOP, GA, DM, BRK and the rest mean nothing on a line of binary data.
            break;
        case State::Verb: {
            static constexpr Event::Kind kinds[] = {Event::Kind::Will, Event::Kind::Wont, Event::Kind::Do,
                                                    Event::Kind::Dont};
            Emit(kinds[verb_ - kWill], byte, events);
            state_ = State::Data;
            break;
        }
        case State::SbOption:
            // A second IAC SB before IAC SE abandons the first subnegotiation.
            inSub_ = true;
            dropping_ = false;
            subOption_ = byte;
            value_.clear();
            state_ = State::Data;
            break;
        }
    }
}

void WriteData(std::span<const std::uint8_t> data, Bytes* out)
{
    for (const std::uint8_t byte : data) {
        out->push_back(byte);
        if (byte == kIac)
            out->push_back(kIac);
    }
}

void WriteOption(std::uint8_t verb, std::uint8_t option, Bytes* out)
{
    out->insert(out->end(), {kIac, verb, option});
}

void WriteSubnegotiation(std::uint8_t option, std::span<const std::uint8_t> value, Bytes* out)
{
    out->insert(out->end(), {kIac, kSb, option});
    WriteData(value, out);
    out->insert(out->end(), {kIac, kSe});
}

bool Negotiation::WeTake(std::uint8_t option, bool ours) const
{
    if (option == kBinary || option == kSuppressGoAhead)
        return true;
    // RFC 2217: the client sends WILL COM-PORT-OPTION and the server answers DO.
    if (option == kComPortOption)
        return ours == (role_ == Role::Client);
    return false;
}

namespace {

// RFC 1143 for one side of one option: "yes" is the peer's WILL (or DO), "no" its WONT (or
// DONT); agree and refuse are what we answer with.
void Answer(Negotiation::State* state, bool yes, bool take, std::uint8_t agree, std::uint8_t refuse,
            std::uint8_t option, Bytes* out)
{
    using State = Negotiation::State;
    if (yes) {
        if (*state == State::WantYes) {
            *state = State::Yes;  // the answer to our own request
        } else if (*state == State::No) {
            if (take)
                *state = State::Yes;
            WriteOption(take ? agree : refuse, option, out);
        }
    } else {
        if (*state == State::Yes)
            WriteOption(refuse, option, out);
        *state = State::No;  // a refusal of our request is not answered
    }
}

}  // namespace

void Negotiation::Receive(std::uint8_t verb, std::uint8_t option, Bytes* out)
{
    if (verb == kWill || verb == kWont)
        Answer(&theirs_[option], verb == kWill, WeTake(option, false), kDo, kDont, option, out);
    else if (verb == kDo || verb == kDont)
        Answer(&ours_[option], verb == kDo, WeTake(option, true), kWill, kWont, option, out);
}

void Negotiation::Offer(std::uint8_t option, Bytes* out)
{
    if (ours_[option] != State::No)
        return;
    ours_[option] = State::WantYes;
    WriteOption(kWill, option, out);
}

}  // namespace serial::telnet
