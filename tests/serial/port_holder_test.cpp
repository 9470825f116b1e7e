// The holder of a port, read from a lock list as Linux's /proc/locks writes it.

#include <gtest/gtest.h>

#include "serial/port_holder.h"

namespace {

TEST(LockHolderPid, FindsTheProcessHoldingTheFile)
{
    // Lines as the kernel writes them: the device numbers in hex, the inode in decimal.
    const std::string locks = "1: POSIX  ADVISORY  WRITE 811 00:1a:977 0 EOF\n"
                              "2: FLOCK  ADVISORY  WRITE 4242 00:19:3 0 EOF\n"
                              "2: -> FLOCK  ADVISORY  WRITE 5151 00:19:30 0 EOF\n"
                              "3: OFDLCK ADVISORY  READ  -1 08:02:30 0 EOF\n"
                              "4: FLOCK  ADVISORY  WRITE 7 fd:0b:12 0 EOF\n";
    const struct {
        unsigned major, minor;
        unsigned long inode;
        std::optional<long> pid;
    } rows[] = {
        {0x00, 0x19, 3, 4242},          {0x00, 0x1a, 977, 811}, {0xfd, 0x0b, 12, 7},  // hex device numbers, not decimal
        {0x00, 0x19, 30, std::nullopt},                                               // only a waiter: it holds nothing
        {0x08, 0x02, 30, std::nullopt},  // an open-file lock names no process
        {0x00, 0x19, 33, std::nullopt},  // the inode whole, not its beginning
        {0x00, 0x18, 3, std::nullopt},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.major) + ":" + std::to_string(r.minor) + ":" + std::to_string(r.inode));
        EXPECT_EQ(serial::LockHolderPid(locks, r.major, r.minor, r.inode), r.pid);
    }
    EXPECT_EQ(serial::LockHolderPid("", 0, 0x19, 3), std::nullopt);
    EXPECT_EQ(serial::LockHolderPid("garbage\n1:\n", 0, 0x19, 3), std::nullopt);
}

}  // namespace
