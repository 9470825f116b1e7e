#include "sim/options.h"

#include <charconv>

namespace sim {

ParsedOptions ParseOptions(const std::vector<std::string>& args)
{
    Options o;
    auto wrong = [](std::string why) { return ParsedOptions{std::nullopt, std::move(why)}; };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };

        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--text" && !value) {
            o.text = true;
        } else if (arg == "--port") {
            const auto v = takeValue();
            if (!v || v->empty()) return wrong("--port needs a port name, such as ttyUSB0");
            o.port = *v;
        } else if (arg == "--baud") {
            const auto v = takeValue();
            if (!v) return wrong("--baud needs a rate, such as 9600");
            std::uint32_t rate = 0;
            const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), rate);
            if (ec != std::errc() || end != v->data() + v->size() || rate == 0)
                return wrong("--baud: not a baud rate: " + *v);
            o.baud = rate;
        } else {
            return wrong("unknown argument: " + args[i]);
        }
    }
    return {o, {}};
}

std::string UsageText()
{
    return R"(Usage: display-sim [--text] [--port NAME] [--baud RATE]

A virtual customer display: eight seven-segment digits with points and the lamps Price,
Total, Collect and Change. It shows what the bytes it receives would show on the device.

By default it opens a pseudo-terminal and publishes it in the virtual-port folder as sim0
(sim1, sim2... while those are taken), where the test panel and display-send list it first;
the link goes when the display ends. The first line printed names it:
  listening on sim0 (/dev/pts/5)

Options:
  --text         no window: print the display state as one line at start and whenever
                 a command changes it, however the bytes arrive, for example
                   [    12.50] lamps=Price mode=still
                   [12345678] lamps=none mode=scrolling text="12345678"
                   [8.8.8.8.8.8.8.8.] lamps=none mode=flickering
                 Between the brackets the eight positions as a user reads them: a blank
                 position is a space, a lit point a '.' after its position. Then the lit
                 lamp (none, Price, Total, Collect or Change), the mode (still, scrolling,
                 flickering) and, while scrolling, the whole scrolling text.
                 When the sender's line settings differ from the display's, a line
                 such as the following comes before the states of what it sent:
                   sender at 9600 baud: a display at 2400 would show garbage
  --port NAME    listen on a serial port instead (ttyUSB0, ttyS0, a virtual port name, or
                 a device path), for instance at the end of a null-modem cable
  --baud RATE    the rate the display reads at (default 2400), 8 data bits, no parity,
                 1 stop bit. On its own pseudo-terminal the display shows the settings
                 the sender set and marks what a display at this rate could not read.
  --version      print the version
  -h, --help     print this help

Ctrl+C ends it.
)";
}

}  // namespace sim
