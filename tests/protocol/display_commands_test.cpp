#include "protocol/display_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/hex_codec.h"

namespace {

using protocol::ByteArray;
using protocol::Lamp;

ByteArray Bytes(const std::string& hex)
{
    ByteArray out;
    // Every message must decode whole: a stray character would cut it short.
    EXPECT_EQ(protocol::HexUndecodedAt(hex), std::nullopt) << hex;
    protocol::HexToBytes(hex, &out);
    return out;
}

TEST(SendDataMessage, ClearLampSelectAndShowText)
{
    struct Row {
        const char* name;
        Lamp lamp;
        std::string text;
        ByteArray bytes;
    };
    const Row rows[] = {
        {"price 12.50",
         Lamp::Price,
         "12.50",
         {0x0C, 0x1B, 0x73, 0x31, 0x1B, 0x51, 0x41, 0x31, 0x32, 0x2E, 0x35, 0x30, 0x0D}},
        {"all dark, empty", Lamp::AllDark, "", {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0x0D}},
        {"total", Lamp::Total, "1", {0x0C, 0x1B, 0x73, 0x32, 0x1B, 0x51, 0x41, 0x31, 0x0D}},
        {"collect", Lamp::Collect, "1", {0x0C, 0x1B, 0x73, 0x33, 0x1B, 0x51, 0x41, 0x31, 0x0D}},
        {"change", Lamp::Change, "1", {0x0C, 0x1B, 0x73, 0x34, 0x1B, 0x51, 0x41, 0x31, 0x0D}},
        {"no lamp checked", Lamp::None, "1", {0x0C, 0x1B, 0x51, 0x41, 0x31, 0x0D}},
        {"double-byte character",
         Lamp::Price,
         "\xD6\xD0",
         {0x0C, 0x1B, 0x73, 0x31, 0x1B, 0x51, 0x41, 0xD6, 0xD0, 0x0D}},
        {"CR and ESC in the text go out as they are",
         Lamp::AllDark,
         "\r\x1B",
         {0x0C, 0x1B, 0x73, 0x30, 0x1B, 0x51, 0x41, 0x0D, 0x1B, 0x0D}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(Bytes(protocol::SendDataMessage(r.lamp, r.text)), r.bytes);
    }
}

TEST(SendDataMessage, EightBytesMoreThanTheText)
{
    const std::string text(100, '8');
    EXPECT_EQ(Bytes(protocol::SendDataMessage(Lamp::Price, text)).size(), 108u);
}

TEST(FixedMessages, ExactBytes)
{
    EXPECT_EQ(Bytes(protocol::ScrollingMessage()),
              (ByteArray{0x0C, 0x1B, 0x51, 0x44, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x0D}));
    EXPECT_EQ(Bytes(protocol::FlickeringMessage()),
              (ByteArray{0x0C, 0x1B, 0x45, 0x05, 0x1B, 0x51, 0x41, 0x38, 0x2E, 0x38, 0x2E, 0x38,
                         0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x38, 0x2E, 0x0D}));
    EXPECT_EQ(Bytes(protocol::ClearMessage()), ByteArray{0x0C});
}

}  // namespace
