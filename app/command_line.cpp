#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace app {
namespace {

// Options QApplication takes out of the arguments itself, with one dash or two.
constexpr std::array<std::string_view, 15> kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "session",  "display",            "name",          "style",  "stylesheet",      "geometry",    "title", "qmljsdebugger",
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
    CommandLine line;
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all") {
            help = true;
            continue;
        }
        if (arg == "--version" || arg == "-v") {
            version = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::string_view name(arg);
            name.remove_prefix(name.starts_with("--") ? 2 : 1);
            const auto eq = name.find('=');
            const bool inlineValue = eq != std::string_view::npos;
            if (inlineValue)
                name = name.substr(0, eq);
            if (Contains(kQtOptionsWithValue, name)) {
                if (!inlineValue && ++i >= arguments.size() && line.error.empty())
                    line.error = arg + " needs a value";
                continue;
            }
            if (Contains(kQtFlags, name) && !inlineValue)
                continue;
            if (line.error.empty())
                line.error = "unknown option " + arg;
        } else if (line.error.empty()) {
            line.error = "unexpected argument \"" + arg + "\"; the panel takes no file or port name";
        }
    }
    // Help answers whatever else stands there; the version, once the rest is right.
    if (help)
        line.action = CommandLine::Action::Help;
    else if (!line.error.empty())
        line.action = CommandLine::Action::Wrong;
    else if (version)
        line.action = CommandLine::Action::Version;
    return line;
}

std::string UsageText()
{
    return R"(Usage: display-test [--help] [--version] [Qt options]

The test panel for a customer display on a serial line: pick the port and the baud rate,
show a typed number with a lamp lit, run the scrolling, flickering and automatic
demonstrations, in English or Chinese. It opens the first port it finds (a running
virtual display, display-sim, comes first) at 2400 baud.

Options:
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
