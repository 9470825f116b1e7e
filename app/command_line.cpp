#include "app/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <string_view>

#include "common/command_line.h"
#include "serial/network_name.h"
#include "serial/port_name.h"

namespace app {
namespace {

// Options QApplication takes out of the arguments itself, with one dash or two.
constexpr std::array<std::string_view, 15> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "name",
    "style",       "stylesheet",         "geometry",      "title",   "qmljsdebugger",
};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    // Qt's options are read only to be let through, with one dash as Qt writes them or two.
    command_line::Parser parser(
        [](std::string_view name) { return Contains(kQtOptionsWithValue, name) || Contains(kQtFlags, name); });
    CLI::Option* const help = parser.Flag("-h,-?,--help,--help-all");
    CLI::Option* const version = parser.Flag("-v,--version");
    CLI::Option* const port = parser.Value("--port");
    for (const std::string_view name : kQtOptionsWithValue)
        parser.Value("--" + std::string(name));
    for (const std::string_view name : kQtFlags)
        parser.Flag("--" + std::string(name));
    const command_line::Reading reading = parser.Read(arguments);

    CommandLine line;
    if (!reading.faults.empty()) {
        const auto& [kind, arg, at] = reading.faults.front();
        if (kind == command_line::Reading::Kind::MissingValue)
            line.error = arg + " needs a value";
        else if (kind == command_line::Reading::Kind::Stray && (arg.size() < 2 || arg[0] != '-'))
            line.error = "unexpected argument \"" + arg + "\"; the panel takes no file; name a port with --port";
        else
            line.error = "unknown option " + arg;  // also a flag of Qt's given a value
    }
    // Any name display-send takes; a network port's is checked here, a device's on opening.
    const std::vector<std::size_t> ports = reading.PlacesOf(port);
    if (!ports.empty()) {
        line.port = port->results().front();
        std::string why;
        if (line.port.empty())
            why = "--port needs a port name";
        else if (serial::IsNetworkName(line.port) && !serial::ParseNetworkName(line.port, &why))
            why = "--port " + serial::Quoted(line.port) + ": " + why;
        else if (ports.size() > 1)
            why = "--port given twice";
        if (!why.empty() && (reading.faults.empty() || ports.front() < reading.faults.front().at))
            line.error = why;
    }
    // Help answers whatever else stands there; the version, once the rest is right.
    if (help->count() > 0)
        line.action = CommandLine::Action::Help;
    else if (!line.error.empty())
        line.action = CommandLine::Action::Wrong;
    else if (version->count() > 0)
        line.action = CommandLine::Action::Version;
    return line;
}

std::string UsageText()
{
    return R"(Usage: display-test [--help] [--version] [--port NAME] [Qt options]

The test panel for a customer display on a serial line: pick the port and the baud rate,
show a typed number with a lamp lit, run the scrolling, flickering and automatic
demonstrations, in English or Chinese. It opens the first port it finds (a running
virtual display, display-sim, comes first) at 2400 baud.

Options:
  --port NAME    choose this port at start: a serial port, a virtual display, or a
                 display on the network, rfc2217://HOST:PORT (a device server that
                 sets the rate) or tcp://HOST:PORT (raw TCP, the server's own rate)
  -v, --version  print the version
  -h, --help     print this help

Qt's own options, such as -platform NAME, -style NAME or -reverse, are passed to Qt.
)";
}

std::string VersionText()
{
    return "display-test " DISPLAYTEST_VERSION "\n";
}

}  // namespace app
