#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>
#include <vector>

#include "protocol/hex_codec.h"
#include "serial/rfc2217.h"
#include "serial/telnet.h"

namespace serial {
namespace {

using telnet::Bytes;
using telnet::Event;
using Open = rfc2217::Client::Open;

Bytes Hex(std::string_view hex)
{
    Bytes bytes;
    protocol::HexToBytes(hex, &bytes);
    return bytes;
}

std::string ToHex(const Bytes& bytes)
{
    return protocol::BytesToHex({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, protocol::HexCase::Upper,
                                " ");
}

// n bytes "41", as hex.
std::string As(std::size_t n)
{
    std::string hex;
    for (std::size_t i = 0; i < n; ++i)
        hex += i == 0 ? "41" : " 41";
    return hex;
}

// Every way to cut the bytes in three pieces, some empty: each command cut anywhere, once or twice.
std::vector<std::array<std::span<const std::uint8_t>, 3>> Cuts(const Bytes& bytes)
{
    const std::span<const std::uint8_t> all(bytes);
    std::vector<std::array<std::span<const std::uint8_t>, 3>> cuts;
    for (std::size_t i = 0; i <= all.size(); ++i)
        for (std::size_t j = i; j <= all.size(); ++j)
            cuts.push_back({all.first(i), all.subspan(i, j - i), all.subspan(j)});
    return cuts;
}

std::string Describe(const std::vector<Event>& events)
{
    static const char* const kinds[] = {"data", "will", "wont", "do", "dont", "sb", "dropped"};
    std::string text;
    for (const Event& event : events) {
        text += text.empty() ? "" : " | ";
        text += kinds[static_cast<int>(event.kind)];
        if (event.kind != Event::Kind::Data)
            text += " " + std::to_string(event.code);
        if (!event.bytes.empty())
            text += " [" + ToHex(event.bytes) + "]";
    }
    return text;
}

// The peer's bytes, read in every cut: the same events, and never more held than the bound.
TEST(TelnetReader, ReadsWholeWhereverTheBytesAreCut)
{
    const struct {
        std::string bytes;
        std::string events;
    } cases[] = {
        {"41 42 43", "data [41 42 43]"},
        {"41 FF FF 42", "data [41 FF 42]"},
        {"0D 00 0D 0A", "data [0D 00 0D 0A]"},
        {"FF FB 00 FF FC 03 FF FD 2C FF FE 01", "will 0 | wont 3 | do 44 | dont 1"},
        {"FF FA 2C 65 00 01 FF FF 00 FF F0", "sb 44 [65 00 01 FF 00]"},
        {"31 FF FA 2C 6A 60 FF F0 32", "data [31] | sb 44 [6A 60] | data [32]"},
        {"FF FA 2C FF F0", "sb 44"},
        {"31 FF F1 32 FF F9 33 FF F0 34", "data [31 32 33 34]"},  // NOP, GA, SE alone: nothing
        {"FF FA 2C 64 FF FB 03 41 FF F0", "will 3 | sb 44 [64 41]"},
        {"FF FA 2C 01 FF FA 2C 02 FF F0", "sb 44 [02]"},
        {"FF FA 2C " + As(256) + " FF F0 42", "sb 44 [" + As(256) + "] | data [42]"},
        {"FF FA 2C " + As(257) + " FF F0 42", "dropped 44 | data [42]"},
        {"FF FA 2C " + As(300) + " FF FF 42", "dropped 44"},  // never ended: all of it swallowed
    };
    for (const auto& c : cases) {
        const Bytes bytes = Hex(c.bytes);
        for (const auto& pieces : Cuts(bytes)) {
            telnet::Reader reader;
            std::vector<Event> events;
            for (const auto piece : pieces) {
                reader.Feed(piece, &events);
                ASSERT_LE(reader.Held(), telnet::kMaxSubnegotiation);
            }
            ASSERT_EQ(Describe(events), c.events)
                << c.bytes << " cut at " << pieces[0].size() << ", " << pieces[0].size() + pieces[1].size();
        }
    }
}

// What we send, escaped (read back in any cut by the fuzz target).
TEST(TelnetWriter, DoublesEveryIac)
{
    const struct {
        bool subnegotiation;
        const char* bytes;
        const char* written;
    } cases[] = {
        {false, "41 FF 42", "41 FF FF 42"},
        {false, "FF FF", "FF FF FF FF"},
        {false, "0C 1B 73 31 0D 00 0D", "0C 1B 73 31 0D 00 0D"},
        {true, "01 00 01 FF 00", "FF FA 2C 01 00 01 FF FF 00 FF F0"},
        {true, "0A FF", "FF FA 2C 0A FF FF FF F0"},
        {true, "", "FF FA 2C FF F0"},
    };
    for (const auto& c : cases) {
        Bytes written;
        if (c.subnegotiation)
            telnet::WriteSubnegotiation(telnet::kComPortOption, Hex(c.bytes), &written);
        else
            telnet::WriteData(Hex(c.bytes), &written);
        EXPECT_EQ(ToHex(written), c.written);
    }
}

TEST(Rfc2217Client, OpensWithTheComPortOptionAndTheFourSettings)
{
    EXPECT_EQ(ToHex(rfc2217::Client(9600).Start()), "FF FB 2C FF FA 2C 01 00 00 25 80 FF F0 FF FA 2C 02 08 FF F0 "
                                                    "FF FA 2C 03 01 FF F0 FF FA 2C 04 01 FF F0");
    EXPECT_EQ(ToHex(rfc2217::Client(130816).Start()), "FF FB 2C FF FA 2C 01 00 01 FF FF 00 FF F0 FF FA 2C 02 08 FF F0 "
                                                      "FF FA 2C 03 01 FF F0 FF FA 2C 04 01 FF F0");
}

const std::string kDo = "FF FD 2C ";
const std::string kRate9600 = "FF FA 2C 65 00 00 25 80 FF F0 ";
const std::string kFrame = "FF FA 2C 66 08 FF F0 FF FA 2C 67 01 FF F0 FF FA 2C 68 01 FF F0 ";

// The server's answers, read in every cut.
TEST(Rfc2217Client, OpenOnlyWhenEachSettingIsConfirmed)
{
    const struct {
        std::uint32_t baud;
        std::string server;
        Open state;
        const char* reason;
        const char* data = "";
        const char* reply = "";
        bool suspended = false;
    } cases[] = {
        {9600, kDo + kRate9600 + kFrame, Open::Open, ""},
        {9600, kRate9600 + kFrame + kDo, Open::Open, ""},
        {130816, kDo + "FF FA 2C 65 00 01 FF FF 00 FF F0 " + kFrame, Open::Open, ""},
        {9600, "", Open::Waiting, "no answer to the COM port option"},
        {9600, kRate9600 + kFrame, Open::Waiting, "no answer to the COM port option"},
        {9600, kDo, Open::Waiting, "no answer to the rate, the data bits, the parity and the stop bits"},
        {9600, kDo + kRate9600 + "FF FA 2C 67 01 FF F0", Open::Waiting, "no answer to the data bits and the stop bits"},
        {9600, "FF FE 2C " + kRate9600 + kFrame, Open::Failed, "the server refused the COM port option"},
        {9600, kDo + "FF FA 2C 65 00 00 12 C0 FF F0 " + kFrame, Open::Failed, "the server set 4800 baud, not 9600"},
        {9600, kDo + "FF FA 2C 65 00 00 12 C0 FF F0 " + kRate9600 + kFrame, Open::Failed,
         "the server set 4800 baud, not 9600"},
        {9600, kDo + kRate9600 + "FF FA 2C 66 07 FF F0", Open::Failed, "the server set 7 data bits, not 8"},
        {9600, kDo + kRate9600 + "FF FA 2C 67 03 FF F0", Open::Failed, "the server set even parity, not none"},
        {9600, kDo + kRate9600 + "FF FA 2C 68 03 FF F0", Open::Failed, "the server set 1.5 stop bits, not 1"},
        {9600, kDo + kRate9600 + "FF FA 2C 68 09 FF F0", Open::Failed, "the server set stop size code 9, not 1"},
        {9600, kDo + "FF FA 2C 65 00 25 80 FF F0", Open::Failed, "the server gave no value for the rate"},
        {9600, kDo + "FF FA 2C 66 FF F0", Open::Failed, "the server gave no value for the data bits"},
        // Signature, SET-CONTROL, states and masks between the answers: read and left.
        {9600,
         kDo + "FF FA 2C 64 73 32 6E FF F0 FF FA 2C 69 01 FF F0 " + kRate9600
             + "FF FA 2C 6A 60 FF F0 FF FA 2C 6B 30 FF F0 FF FA 2C 6E 00 FF F0 FF FA 2C 70 02 FF F0 " + kFrame,
         Open::Open, ""},
        {9600, kDo + "FF FB 00 FF FD 00 FF FD 03 FF FD 01 FF FB 18 " + kRate9600 + kFrame, Open::Open, "", "",
         "FF FD 00 FF FB 00 FF FB 03 FF FC 01 FF FE 18"},
        {9600, "31 FF FA 2C 6A 60 FF F0 32 " + kDo + "FF FF FF FA 2C 6B 30 FF F0 33", Open::Waiting,
         "no answer to the rate, the data bits, the parity and the stop bits", "31 32 FF 33"},
        {9600, kDo + "FF FB 03 FF FB 03 FF FC 03 FF FC 03 FF FE 03 FF FD 2C FF FE 2C " + kRate9600 + kFrame,
         Open::Failed, "the server refused the COM port option", "", "FF FD 03 FF FE 03 FF FC 2C"},
        {9600, "FF FB 2C FF FD 00 FF FD 00 FF FE 01 FF FC 05", Open::Waiting, "no answer to the COM port option", "",
         "FF FE 2C FF FB 00"},
        {9600, kDo + kRate9600 + kFrame + "FF FA 2C 6C FF F0", Open::Open, "", "", "", true},
        {9600, "FF FA 2C 6C FF F0 31 FF FA 2C 6D FF F0 32", Open::Waiting, "no answer to the COM port option", "31 32"},
        {9600, "FF FA 2C 08 FF F0", Open::Waiting, "no answer to the COM port option", "", "", true},
    };
    for (const auto& c : cases) {
        const Bytes bytes = Hex(c.server);
        for (const auto& pieces : Cuts(bytes)) {
            rfc2217::Client client(c.baud);
            client.Start();
            Bytes data, reply;
            for (const auto piece : pieces)
                client.Feed(piece, &data, &reply);
            ASSERT_EQ(client.State(), c.state) << c.server;
            ASSERT_EQ(client.Reason(), c.reason) << c.server;
            ASSERT_EQ(ToHex(data), c.data) << c.server;
            ASSERT_EQ(ToHex(reply), c.reply) << c.server;
            ASSERT_EQ(client.Suspended(), c.suspended) << c.server;
        }
    }
}

// The client's bytes, read in every cut. The first row is pyserial's opening at 2400 baud
// (rfc2217.Serial.open: its options, the four settings, SET-CONTROL for no flow control,
// DTR and RTS on, then a purge of each buffer): it waits for every one of these answers.
TEST(Rfc2217Server, AnswersEveryCommandWithTheValueInUse)
{
    const struct {
        std::string client;
        std::string reply;
        rfc2217::LineSettings line;
        bool comPort = true;
        const char* data = "";
    } cases[] = {
        {"FF FD 01 FF FB 03 FF FD 03 FF FD 2C FF FB 2C "
         "FF FA 2C 01 00 00 09 60 FF F0 FF FA 2C 02 08 FF F0 FF FA 2C 03 01 FF F0 FF FA 2C 04 01 FF F0 "
         "FF FA 2C 05 01 FF F0 FF FA 2C 05 08 FF F0 FF FA 2C 05 0B FF F0 FF FA 2C 0C 01 FF F0 FF FA 2C 0C 02 FF F0",
         "FF FC 01 FF FD 03 FF FB 03 FF FC 2C FF FD 2C "
         "FF FA 2C 65 00 00 09 60 FF F0 FF FA 2C 66 08 FF F0 FF FA 2C 67 01 FF F0 FF FA 2C 68 01 FF F0 "
         "FF FA 2C 69 01 FF F0 FF FA 2C 69 08 FF F0 FF FA 2C 69 0B FF F0 FF FA 2C 70 01 FF F0 FF FA 2C 70 02 FF F0",
         {2400, 8, 'N', 1}},
        {"FF FA 2C 01 00 00 00 00 FF F0 FF FA 2C 02 00 FF F0 FF FA 2C 03 00 FF F0 FF FA 2C 04 00 FF F0",
         "FF FA 2C 65 00 00 25 80 FF F0 FF FA 2C 66 08 FF F0 FF FA 2C 67 01 FF F0 FF FA 2C 68 01 FF F0",
         {9600, 8, 'N', 1},
         false},
        {"FF FB 2C FF FA 2C 01 00 00 12 C0 FF F0 FF FA 2C 02 07 FF F0 FF FA 2C 03 03 FF F0 FF FA 2C 04 02 FF F0",
         "FF FD 2C FF FA 2C 65 00 00 12 C0 FF F0 FF FA 2C 66 07 FF F0 FF FA 2C 67 03 FF F0 FF FA 2C 68 02 FF F0",
         {4800, 7, 'E', 2}},
        {"FF FB 2C FF FA 2C 02 09 FF F0 FF FA 2C 03 06 FF F0 FF FA 2C 04 03 FF F0 FF FA 2C 01 00 01 FF FF 00 FF F0",
         "FF FD 2C FF FA 2C 66 08 FF F0 FF FA 2C 67 01 FF F0 FF FA 2C 68 03 FF F0 FF FA 2C 65 00 01 FF FF 00 FF F0",
         {130816, 8, 'N', 2}},
        {"FF FA 2C 00 FF F0 FF FA 2C 00 61 62 FF F0",
         "FF FA 2C 64 64 69 73 70 6C 61 79 2D 73 69 6D FF F0",
         {9600, 8, 'N', 1},
         false},
        {"FF FA 2C 05 07 FF F0 FF FA 2C 05 09 FF F0 FF FA 2C 05 07 FF F0 FF FA 2C 05 00 FF F0 FF FA 2C 05 14 FF F0",
         "FF FA 2C 69 08 FF F0 FF FA 2C 69 09 FF F0 FF FA 2C 69 09 FF F0 FF FA 2C 69 01 FF F0",
         {9600, 8, 'N', 1},
         false},
        {"31 FF FA 2C 0A FF FF FF F0 32 FF FA 2C 0B 00 FF F0 FF FA 2C 08 FF F0 FF FF 33 FF FA 2C 06 FF F0",
         "FF FA 2C 6E FF FF FF F0 FF FA 2C 6F 00 FF F0",
         {9600, 8, 'N', 1},
         false,
         "31 32 FF 33"},
    };
    for (const auto& c : cases) {
        const Bytes bytes = Hex(c.client);
        for (const auto& pieces : Cuts(bytes)) {
            rfc2217::Server server;
            Bytes data, reply;
            for (const auto piece : pieces)
                server.Feed(piece, &data, &reply);
            ASSERT_EQ(ToHex(reply), c.reply) << c.client;
            ASSERT_EQ(server.Line(), c.line) << c.client;
            ASSERT_EQ(server.ComPort(), c.comPort) << c.client;
            ASSERT_EQ(ToHex(data), c.data) << c.client;
        }
    }
}

}  // namespace
}  // namespace serial
