// Any byte stream, read by the virtual display at once and one byte at a time: the same
// commands in the same order, each told with the same state and the same "changed", and
// the same state at the end. A line delivers its bytes in pieces of any size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/display_decoder.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Told {
    std::string what;
    bool changed;
    sim::DisplayState state;
    bool operator==(const Told&) const = default;
};

sim::DisplayDecoder::CommandSink Recorder(const sim::DisplayDecoder& decoder, std::vector<Told>* told)
{
    return [&decoder, told](std::string_view what, bool changed) {
        told->push_back({std::string(what), changed, decoder.State()});
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    sim::DisplayDecoder whole;
    std::vector<Told> wholeTold;
    const bool wholeChanged = whole.Feed(data, size, Recorder(whole, &wholeTold));

    sim::DisplayDecoder bytewise;
    std::vector<Told> bytewiseTold;
    const auto sink = Recorder(bytewise, &bytewiseTold);
    bool anyChanged = false;
    for (std::size_t i = 0; i < size; ++i)
        anyChanged |= bytewise.Feed(data + i, 1, sink);

    FUZZ_CHECK(whole.State() == bytewise.State());
    FUZZ_CHECK(whole.BetweenCommands() == bytewise.BetweenCommands());
    FUZZ_CHECK(wholeTold == bytewiseTold);

    // Feed says whether the state differs from the one it began with.
    FUZZ_CHECK(wholeChanged == (whole.State() != sim::DisplayState{}));
    FUZZ_CHECK(!wholeChanged || anyChanged);
    // Every change comes with a command, told as one when the state differs from the
    // state told before it.
    sim::DisplayState before;
    for (const Told& told : wholeTold) {
        FUZZ_CHECK(told.changed == (told.state != before));
        before = told.state;
    }
    FUZZ_CHECK(before == whole.State());
    return 0;
}
