// What CSerialPort does the same on every platform: with no line behind it, nothing is
// written or closed, and a write says why.
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stop_token>

namespace serial {
namespace {

TEST(SerialPort, WithoutALineNothingIsWrittenOrClosed)
{
    const std::uint8_t bytes[3] = {0x1B, 0x45, 0x05};
    std::stop_source stopped;
    stopped.request_stop();
    const struct {
        const char* what;
        const std::uint8_t* data;
        std::uint32_t count;
        std::stop_token stop;
        std::uint32_t result;
    } rows[] = {
        {"an empty write", bytes, 0, {}, 87},
        {"an empty write of no bytes at all", nullptr, 0, {}, 87},
        {"a write", bytes, 3, {}, 7005},
        {"a write asked to stop", bytes, 3, stopped.get_token(), 7005},
    };
    CSerialPort port;
    for (const auto& r : rows)
        EXPECT_EQ(port.Write(r.data, r.count, r.stop), r.result) << r.what;
    EXPECT_EQ(port.Write(bytes, 3), 7005u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(port.LineEventHandle(), kNoHandle);
    EXPECT_FALSE(port.LineHungUp());
    EXPECT_EQ(port.LastOpenFailure().kind, OpenError::None);
}

}  // namespace
}  // namespace serial
