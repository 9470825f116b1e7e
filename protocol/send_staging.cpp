#include "protocol/send_staging.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "protocol/hex_codec.h"

namespace protocol {

std::uint32_t StageAndWrite(std::string_view hex, const WriteFn& write)
{
    try {
        ByteArray bytes;
        HexToBytes(hex, &bytes);
        if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
            return kErrorNotEnoughMemory;
        const auto count = static_cast<std::uint32_t>(bytes.size());
        // A message longer than the usual block gets a block of its own size: the display
        // receives all of it, and the port never reads past the block.
        std::vector<std::uint8_t> block(std::max(kStagingBlockSize, count), 0);
        std::copy(bytes.begin(), bytes.end(), block.begin());
        return write(block.data(), count);
    } catch (const std::bad_alloc&) {
        return kErrorNotEnoughMemory;
    }
}

}  // namespace protocol
