#pragma once
// The one road from a command string to the port, shared by the panel and the sender.

#include <cstdint>
#include <functional>
#include <string_view>

namespace protocol {

// Bytes to the port, once; returns the port's result (0 on success).
using WriteFn = std::function<std::uint32_t(const std::uint8_t* data, std::uint32_t count)>;

// Size of the zero-filled staging block for one message; a longer message gets a
// block of its own size, so the display always receives the whole message.
inline constexpr std::uint32_t kStagingBlockSize = 256;

// StageAndWrite's result when no staging block could be had; nothing was written. One
// number on every platform, beside the port's own results (CSerialPort::kErrorNotEnoughMemory).
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;

// Decodes the command string, stages the bytes and hands them to write once.
// Returns write's result; a string that decodes to nothing is written with count 0.
std::uint32_t StageAndWrite(std::string_view hex, const WriteFn& write);

}  // namespace protocol
