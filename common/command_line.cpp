#include "common/command_line.h"

#include <CLI/CLI.hpp>

#include <utility>

namespace command_line {

Parser::Parser(std::function<bool(std::string_view)> oneDash, bool endOfOptions)
    : m_app(std::make_unique<CLI::App>()), m_oneDash(std::move(oneDash)), m_endOfOptions(endOfOptions)
{
    m_app->set_help_flag();  // each program prints its own help
    m_app->allow_extras();   // and names what it does not know in its own words
}

Parser::~Parser() = default;

CLI::Option* Parser::Flag(const std::string& names)
{
    return m_app->add_flag(names);
}

CLI::Option* Parser::Value(const std::string& names)
{
    return m_app->add_option(names)->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

Reading Parser::Read(const std::vector<std::string>& args)
{
    Reading reading;
    const auto fault = [&reading](Reading::Kind kind, const std::string& arg, std::size_t at) {
        reading.faults.push_back({kind, arg, at});
    };
    const auto known = [this](const std::string& name) { return m_app->get_option_no_throw(name); };
    const auto takesValue = [&known](const std::string& name) {
        const CLI::Option* option = known(name);
        return option && option->get_expected_min() > 0 ? option : nullptr;
    };
    // The arguments as CLI11 takes them. What it knows no option of it files aside; those
    // are the strays here, found by the same look-up.
    std::vector<std::string> given;
    bool positional = false;
    const auto give = [&](std::string arg, std::size_t at) {
        if (positional || !known(arg))
            fault(Reading::Kind::Stray, args[at], at);
        given.push_back(std::move(arg));
    };

    const CLI::Option* valueNext = nullptr;
    for (std::size_t at = 0; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (valueNext) {
            reading.values.emplace_back(std::exchange(valueNext, nullptr), at);
            given.push_back(arg);
            continue;
        }
        if (positional || arg.size() < 2 || arg[0] != '-') {
            give(arg, at);
            continue;
        }
        std::string option = arg;
        if (option.size() > 2 && option[1] != '-') {
            const std::string_view word = std::string_view(option).substr(1, option.find('=') - 1);
            // CLI11 reads "-hx" as "-h -x" and has no long name after one dash: "--platform"
            // where the program takes it so, else "---hx", which CLI11 files unknown, whole.
            option.insert(0, m_oneDash && m_oneDash(word) ? "-" : "--");
        }
        if (option == "--") {
            give(m_endOfOptions ? option : "----", at);  // "----", as "---hx", is unknown to CLI11
            positional = m_endOfOptions;
            continue;
        }
        if (const auto eq = option.find('='); option.starts_with("--") && eq != std::string::npos) {
            const std::string name = option.substr(0, eq);
            if (const CLI::Option* flag = known(name); flag && flag->get_expected_max() == 0) {
                fault(Reading::Kind::FlagWithValue, arg, at);
                continue;
            }
            if (const CLI::Option* valued = takesValue(name)) {
                reading.values.emplace_back(valued, at);
                given.push_back(name);
                given.push_back(option.substr(eq + 1));
                continue;
            }
        } else {
            valueNext = takesValue(option);
        }
        give(option, at);
    }

    std::vector<std::string> reversed(given.rbegin(), given.rend());
    try {
        m_app->parse(reversed);
    } catch (const CLI::ArgumentMismatch&) {
        // Every value is taken as it comes: only the last option can lack one.
        fault(Reading::Kind::MissingValue, args.back(), args.size() - 1);
    }
    return reading;
}

std::vector<std::size_t> Reading::PlacesOf(const CLI::Option* option) const
{
    std::vector<std::size_t> places;
    for (const auto& [valued, at] : values) {
        if (valued == option)
            places.push_back(at);
    }
    return places;
}

std::string UsageError(std::string_view program, const std::string& why)
{
    return std::string(program) + ": " + why + "\nTry '" + std::string(program) + " --help'.\n";
}

}  // namespace command_line
