// Any bytes from a peer, read by the Telnet reader, the RFC 2217 client and the server at
// once and in pieces whose sizes the input's first bytes choose: the same events, data,
// answers and state either way, and never more held than the bound. What the writer
// writes reads back as it was, and our own client and server always agree on a line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "serial/rfc2217.h"
#include "serial/telnet.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using serial::telnet::Bytes;
using serial::telnet::Event;
using Bytespan = std::span<const std::uint8_t>;

// The input cut in pieces of 1 to 16 bytes and empty ones, their sizes taken in turn from the plan.
std::vector<Bytespan> Pieces(Bytespan input, Bytespan plan)
{
    std::vector<Bytespan> pieces;
    for (std::size_t at = 0, k = 0; at < input.size(); ++k) {
        const std::uint8_t planned = plan.empty() ? 0 : plan[k % plan.size()];
        if (planned % 16 == 0)
            pieces.push_back({});  // an empty read changes nothing
        const std::size_t size = std::min<std::size_t>(input.size() - at, 1 + planned % 16);
        pieces.push_back(input.subspan(at, size));
        at += size;
    }
    return pieces;
}

std::vector<Event> Read(const std::vector<Bytespan>& pieces)
{
    serial::telnet::Reader reader;
    std::vector<Event> events;
    for (const Bytespan piece : pieces) {
        reader.Feed(piece, &events);
        FUZZ_CHECK(reader.Held() <= serial::telnet::kMaxSubnegotiation);
    }
    return events;
}

// What we send holds commands only, never data.
void CheckOnlyCommands(const Bytes& reply)
{
    for (const Event& event : Read({Bytespan(reply)}))
        FUZZ_CHECK(event.kind != Event::Kind::Data);
}

struct ClientSeen {
    serial::rfc2217::Client::Open state;
    std::string reason;
    Bytes data, reply;
    bool suspended;
    bool operator==(const ClientSeen&) const = default;
};

ClientSeen RunClient(std::uint32_t baud, const std::vector<Bytespan>& pieces)
{
    serial::rfc2217::Client client(baud);
    client.Start();
    ClientSeen seen{};
    for (const Bytespan piece : pieces)
        client.Feed(piece, &seen.data, &seen.reply);
    seen.state = client.State();
    seen.reason = client.Reason();
    seen.suspended = client.Suspended();
    return seen;
}

struct ServerSeen {
    serial::rfc2217::LineSettings line;
    Bytes data, reply;
    bool comPort;
    bool operator==(const ServerSeen&) const = default;
};

ServerSeen RunServer(const std::vector<Bytespan>& pieces)
{
    serial::rfc2217::Server server;
    ServerSeen seen{};
    for (const Bytespan piece : pieces)
        server.Feed(piece, &seen.data, &seen.reply);
    seen.line = server.Line();
    seen.comPort = server.ComPort();
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytespan all(data, size);
    const Bytespan plan = all.first(std::min<std::size_t>(size, 4));
    const std::vector<Bytespan> whole{all};
    const std::vector<Bytespan> pieces = Pieces(all, plan);

    // The reader: the same events whole and in pieces; data as data, values within the bound.
    const std::vector<Event> events = Read(whole);
    FUZZ_CHECK(Read(pieces) == events);
    Bytes dataRead;
    for (const Event& event : events) {
        FUZZ_CHECK(event.kind != Event::Kind::Data || !event.bytes.empty());
        FUZZ_CHECK(event.bytes.size() <= serial::telnet::kMaxSubnegotiation || event.kind == Event::Kind::Data);
        if (event.kind == Event::Kind::Data)
            dataRead.insert(dataRead.end(), event.bytes.begin(), event.bytes.end());
    }

    // The writer: the input as data, and a value cut to the bound, read back in pieces.
    Bytes written;
    serial::telnet::WriteData(all, &written);
    const std::vector<Event> back = Read(Pieces(written, plan));
    FUZZ_CHECK(size == 0 ? back.empty() : back.size() == 1 && back[0].kind == Event::Kind::Data);
    FUZZ_CHECK(size == 0 || back[0].bytes == Bytes(all.begin(), all.end()));
    const Bytespan value = all.first(std::min(size, serial::telnet::kMaxSubnegotiation));
    written.clear();
    serial::telnet::WriteSubnegotiation(serial::telnet::kComPortOption, value, &written);
    const std::vector<Event> valueBack = Read(Pieces(written, plan));
    FUZZ_CHECK(valueBack.size() == 1 && valueBack[0].kind == Event::Kind::Subnegotiation);
    FUZZ_CHECK(valueBack[0].code == serial::telnet::kComPortOption);
    FUZZ_CHECK(valueBack[0].bytes == Bytes(value.begin(), value.end()));

    // The client at a rate the input chooses, whatever the server sends.
    std::uint32_t baud = 1;
    for (const std::uint8_t byte : plan)
        baud = baud * 251 + byte;
    if (baud == 0)
        baud = 1;  // 0 asks for the rate in use
    const ClientSeen client = RunClient(baud, whole);
    FUZZ_CHECK(RunClient(baud, pieces) == client);
    FUZZ_CHECK(client.data == dataRead);
    FUZZ_CHECK(client.reason.empty() == (client.state == serial::rfc2217::Client::Open::Open));
    FUZZ_CHECK(client.reason.find('\n') == std::string::npos);
    CheckOnlyCommands(client.reply);

    // The server, whatever the client sends: settings a line can have.
    const ServerSeen server = RunServer(whole);
    FUZZ_CHECK(RunServer(pieces) == server);
    FUZZ_CHECK(server.data == dataRead);
    FUZZ_CHECK(server.line.baud != 0);
    FUZZ_CHECK(server.line.dataBits >= 5 && server.line.dataBits <= 8);
    FUZZ_CHECK(std::string("NOEMS").find(server.line.parity) != std::string::npos);
    FUZZ_CHECK(server.line.stopBits == 1 || server.line.stopBits == 2);
    CheckOnlyCommands(server.reply);

    // Our client and our server agree on the client's rate, their answers cut in any pieces.
    serial::rfc2217::Server ours;
    serial::rfc2217::Client peer(baud);
    Bytes ignored, toClient, toServer;
    const Bytes start = peer.Start();
    for (const Bytespan piece : Pieces(start, plan))
        ours.Feed(piece, &ignored, &toClient);
    for (const Bytespan piece : Pieces(toClient, plan))
        peer.Feed(piece, &ignored, &toServer);
    FUZZ_CHECK(peer.State() == serial::rfc2217::Client::Open::Open && toServer.empty() && ignored.empty());
    FUZZ_CHECK(ours.Line() == (serial::rfc2217::LineSettings{baud, 8, 'N', 1}) && ours.ComPort());
    return 0;
}
