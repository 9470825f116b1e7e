#include "sim/command_line.h"

#include <CLI/CLI.hpp>

#include <array>
#include <string_view>

#include "common/command_line.h"
#include "serial/serial_port.h"
#include "sim/main_platform.h"

namespace sim {

ParsedOptions ParseCommandLine(const std::vector<std::string>& arguments)
{
    // As Qt's programs read theirs: every option may be written with one dash too (-text),
    // -ab is not -a -b (there are no single-letter options to bundle), and "--" ends the
    // options.
    command_line::Parser parser([](std::string_view) { return true; }, true);
    // --h too: Qt's parser took the name of either kind with either prefix.
    const auto [text, help, version] =
        std::array{parser.Flag("--text"), parser.Flag("-h,--h,--help"), parser.Flag("--version")};
    const auto [port, listen, baud, lang] =
        std::array{parser.Value("--port"), parser.Value("--listen"), parser.Value("--baud"), parser.Value("--lang")};
    const command_line::Reading reading = parser.Read(arguments);

    // What is wrong, in the words scripts have read since the first version.
    auto wrong = [](const std::string& why) { return ParsedOptions{std::nullopt, why}; };
    // Qt's parser said the last value out of place, else every unknown option.
    std::string misplaced;
    std::vector<std::string> unknown, positional;
    bool onlyPositional = false;
    for (const auto& [kind, arg, at] : reading.faults) {
        if (kind == command_line::Reading::Kind::MissingValue) {
            misplaced = "Missing value after '" + arg + "'.";
        } else if (kind == command_line::Reading::Kind::FlagWithValue) {
            misplaced = "Unexpected value after '" + arg.substr(0, arg.find('=')) + "'.";
        } else if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            onlyPositional = true;
        } else {
            const std::string name = arg.substr(arg.starts_with("--") ? 2 : 1);
            unknown.push_back(name.substr(0, name.find('=')));
        }
    }
    if (!misplaced.empty())
        return wrong(misplaced);
    if (unknown.size() == 1)
        return wrong("Unknown option '" + unknown.front() + "'.");
    if (unknown.size() > 1) {
        std::string names;
        for (const std::string& name : unknown)
            names += (names.empty() ? "" : ", ") + name;
        return wrong("Unknown options: " + names + ".");
    }
    if (!positional.empty())
        return wrong("unexpected argument: " + positional.front());

    // The last one counts where an option is given again.
    Options o;
    o.text = text->count() > 0;
    o.help = help->count() > 0;
    o.version = version->count() > 0;
    if (port->count() > 0) {
        o.port = port->results().back();
        if (o.port.empty())
            return wrong("--port needs a port name, such as ttyUSB0");
        if (std::string why; serial::IsNetworkName(o.port) && !serial::ParseNetworkName(o.port, &why))
            return wrong("--port takes rfc2217://HOST:PORT or tcp://HOST:PORT: " + why);
    }
    if (listen->count() > 0) {
        if (port->count() > 0)
            return wrong("--listen and --port cannot be given together");
        std::string why;
        o.listen = serial::ParseNetworkName(listen->results().back(), &why, true);
        if (!o.listen)
            return wrong("--listen takes rfc2217://[ADDRESS]:PORT or tcp://[ADDRESS]:PORT: " + why);
    }
    if (lang->count() > 0) {
        o.lang = lang->results().back();
        if (o.lang != "en" && o.lang != "zh")
            return wrong("--lang takes en or zh, not \"" + o.lang + "\"");
    }
    if (baud->count() > 0 && !serial::ParseBaudRate(baud->results().back(), &o.baud))
        return wrong("--baud: not a baud rate: " + baud->results().back());
    return {o, {}};
}

std::string UsageText()
{
    return R"(Usage: display-sim [--text] [--port NAME | --listen URL] [--baud RATE] [--lang en|zh]

A virtual customer display: eight seven-segment digits with points and the lamps Price,
Total, Collect and Change. It shows what the bytes it receives would show on the device.

)" + std::string(OwnLineUsage())
           + R"(
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
                 When the sender's line settings are ones the display could not read,
                 a line such as the following stands for each piece of what it sent,
                 and the display takes nothing of it:
                   sender at 9600 baud: a display at 2400 would show garbage
  --port NAME    listen on a serial port instead (ttyUSB0, ttyS0, a virtual port name, or
                 a device path), for instance at the end of a null-modem cable, or on
                 one that a device server serves on the network, as the sender reaches
                 it: rfc2217://HOST:PORT sets the remote line to --baud, 8N1;
                 tcp://HOST:PORT takes the bytes as they are, at the server's own
                 settings. HOST is a name, an IPv4 address or an [IPv6] address. When
                 the server closes the connection, the display ends as when a device
                 is unplugged.
  --listen URL   listen on the network instead, for one sender at a time:
                 rfc2217://[ADDRESS]:PORT as an RFC 2217 device server, which shows the
                 line settings the sender asks for as on its own pseudo-terminal, or
                 tcp://[ADDRESS]:PORT for the bytes as they are, where the sender's line
                 cannot be seen. ADDRESS is 127.0.0.1 unless named; on an address beyond
                 the loopback, any machine that reaches it can drive the display, and the
                 display warns of it. Port 0 takes a free port, which the first line names:
                   listening on rfc2217://127.0.0.1:40123
  --baud RATE    the rate the display reads at (default 2400), 8 data bits, no parity,
                 1 stop bit. On its own pseudo-terminal the display shows the settings
                 the sender set and marks what a display at this rate could not read.
  --lang LANG    the window's language: en (English) or zh (Chinese); by default the
                 desktop's, Chinese on a Chinese desktop, else English. --text prints
                 English whatever the language.
  --version      print the version
  -h, --help     print this help

Ctrl+C ends it.
)";
}

bool OnlyThisMachine(const std::string& address)
{
    return address.empty() || address.starts_with("127.") || address == "::1";
}

}  // namespace sim
