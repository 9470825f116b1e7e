// display-send's command line (ParseArguments, declared in sender.h), read by CLI11.

#include <CLI/CLI.hpp>

#include <array>
#include <functional>
#include <optional>
#include <utility>

#include "cli/sender.h"
#include "common/command_line.h"
#include "serial/network_name.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"

namespace cli {

static_assert(kExitBadArguments == command_line::kExitUsage);

ParseResult ParseArguments(const std::vector<std::string>& args)
{
    command_line::Parser parser;
    const auto [help, version, list, names, force, verbose] =
        std::array{parser.Flag("-h,--help"), parser.Flag("--version"), parser.Flag("--list"),
                   parser.Flag("--names"),   parser.Flag("--force"),   parser.Flag("--verbose")};
    const auto [port, baud, lamp] = std::array{parser.Value("--port"), parser.Value("--baud"), parser.Value("--lamp")};
    struct Message {
        CLI::Option* option;
        MessageKind kind;
    };
    const Message messages[] = {
        {parser.Value("--hex"), MessageKind::Hex},      {parser.Value("--text"), MessageKind::Text},
        {parser.Flag("--scroll"), MessageKind::Scroll}, {parser.Flag("--flicker"), MessageKind::Flicker},
        {parser.Flag("--clear"), MessageKind::Clear},
    };
    const command_line::Reading reading = parser.Read(args);

    Options options;
    ParseResult result;
    // Help answers whatever else stands there.
    if (help->count() > 0) {
        options.command = Command::Help;
        result.options = options;
        return result;
    }

    // What is wrong is named as the first wrong argument says it.
    std::optional<std::pair<std::size_t, std::string>> wrong;
    const auto note = [&wrong](std::size_t at, std::string why) {
        if (!wrong || at < wrong->first)
            wrong.emplace(at, std::move(why));
    };
    if (!reading.faults.empty()) {
        const auto& [kind, arg, at] = reading.faults.front();
        if (kind == command_line::Reading::Kind::FlagWithValue)
            note(at, arg.substr(0, arg.find('=')) + " takes no value");
        else if (kind == command_line::Reading::Kind::MissingValue)
            note(at, arg + " needs a value");
        else if (arg.size() > 1 && arg[0] == '-')
            note(at, "unknown option " + serial::Quoted(arg.starts_with("--") ? arg.substr(0, arg.find('=')) : arg));
        else
            note(at, "unexpected argument " + serial::Quoted(arg) + "; a text to show goes after --text");
    }
    // Each of these once; the value given first is checked.
    using Check = std::function<std::string(const std::string&)>;
    const auto once = [&](const CLI::Option* option, const char* name, const Check& check) {
        const std::vector<std::size_t> places = reading.PlacesOf(option);
        if (!places.empty()) {
            if (std::string why = check(option->results().front()); !why.empty())
                note(places[0], std::move(why));
        }
        if (places.size() > 1)
            note(places[1], name + std::string(" given twice"));
    };
    once(port, "--port", [&options](const std::string& name) {
        options.port = name;
        if (std::string why; serial::IsNetworkName(name) && !serial::ParseNetworkName(name, &why))
            return "--port " + serial::Quoted(name) + ": " + why;
        return name.empty() ? std::string("--port needs a port name") : std::string();
    });
    once(baud, "--baud", [&options](const std::string& rate) {
        return serial::ParseBaudRate(rate, &options.baud)
                   ? std::string()
                   : "--baud needs a rate in bits per second, such as 9600, not " + serial::Quoted(rate);
    });
    once(lamp, "--lamp", [&options](const std::string& name) {
        const auto chosen = ParseLamp(name);
        options.lamp = chosen.value_or(options.lamp);
        return chosen ? std::string()
                      : "--lamp takes off, price, total, collect or change, not " + serial::Quoted(name);
    });
    if (wrong) {
        result.error = wrong->second;
        return result;
    }
    options.force = force->count() > 0;
    options.verbose = verbose->count() > 0;
    if (version->count() > 0) {
        options.command = Command::Version;
        result.options = options;
        return result;
    }

    std::size_t given = 0;
    for (const Message& m : messages) {
        if (m.option->count() == 0)
            continue;
        given += m.option->count();
        options.message = m.kind;
        options.payload = m.option->get_expected_max() > 0 ? m.option->results().front() : std::string();
    }
    std::string why;
    if (list->count() > 0) {
        if (port->count() > 0 || baud->count() > 0 || lamp->count() > 0 || options.force || given > 0)
            why = "--list takes no other option than --names";
        options.command = Command::List;
        options.namesOnly = names->count() > 0;
    } else if (names->count() > 0) {
        why = "--names goes with --list";
    } else if (given > 1) {
        why = "give only one of --hex, --text, --scroll, --flicker, --clear";
    } else if (lamp->count() > 0 && options.message != MessageKind::Text) {
        why = "--lamp goes with --text";
    } else if (given == 0) {
        why = "nothing to send: give one of --hex, --text, --scroll, --flicker, --clear (see --help)";
    }
    if (why.empty())
        result.options = options;
    result.error = why;
    return result;
}

}  // namespace cli
