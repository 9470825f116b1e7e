#include "protocol/send_staging.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/display_commands.h"
#include "protocol/hex_codec.h"

namespace {

using protocol::ByteArray;
using protocol::kStagingBlockSize;

// Records every call. It reads the whole block the port may rely on, so the sanitizer
// build catches a block smaller than the message or smaller than the usual 256 bytes.
struct Recorder {
    std::vector<ByteArray> writes;
    std::uint32_t result = 0;
    bool tailZero = true;

    protocol::WriteFn Fn()
    {
        return [this](const std::uint8_t* data, std::uint32_t count) {
            writes.emplace_back(data, data + count);
            for (std::uint32_t i = count; i < kStagingBlockSize; ++i)
                tailZero = tailZero && data[i] == 0;
            return result;
        };
    }
};

TEST(StageAndWrite, OneWriteOfTheDecodedBytesAndThePortsResult)
{
    struct Row {
        const char* name;
        std::string hex;
        ByteArray bytes;
    };
    const Row rows[] = {
        {"clear", "0C", {0x0C}},
        {"scrolling",
         protocol::ScrollingMessage(),
         {0x0C, 0x1B, 0x51, 0x44, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x0D}},
        {"nothing decodes", "", {}},
        {"cut at the first non-digit", "0CZZ", {0x0C}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Recorder rec;
        rec.result = 7005;
        EXPECT_EQ(protocol::StageAndWrite(r.hex, rec.Fn()), 7005u);
        ASSERT_EQ(rec.writes.size(), 1u);
        EXPECT_EQ(rec.writes[0], r.bytes);
        EXPECT_TRUE(rec.tailZero);
    }
}

TEST(StageAndWrite, TextOf248BytesFillsTheBlockExactly)
{
    const std::string text(248, '8');
    Recorder rec;
    protocol::StageAndWrite(protocol::SendDataMessage(protocol::Lamp::Price, text), rec.Fn());
    ASSERT_EQ(rec.writes.size(), 1u);
    ASSERT_EQ(rec.writes[0].size(), 256u);
    EXPECT_EQ(rec.writes[0][3], 0x31);
    EXPECT_EQ(rec.writes[0][255], 0x0D);
}

TEST(StageAndWrite, LongerMessageGoesOutWhole)
{
    std::string text;
    for (int i = 0; i < 292; ++i)
        text.push_back(static_cast<char>('0' + i % 10));
    const std::string hex = protocol::SendDataMessage(protocol::Lamp::Total, text);

    Recorder rec;  // reads every byte it was handed: past a 256-byte block the sanitizer stops it
    EXPECT_EQ(protocol::StageAndWrite(hex, rec.Fn()), 0u);
    ASSERT_EQ(rec.writes.size(), 1u);
    ByteArray expected;
    protocol::HexToBytes(hex, &expected);
    ASSERT_EQ(expected.size(), 300u);
    EXPECT_EQ(rec.writes[0], expected);
}

}  // namespace
