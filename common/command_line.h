#pragma once
// The command lines of the three programs, read by CLI11. Each program declares its options
// on a Parser and reads them with Read; what is wrong comes back in a Reading, each fault
// with its place, for the program to name the first in its own words. Around CLI11 stand
// the few forms it reads otherwise than the programs document:
// - "--port=" is an empty value (CLI11 would take the next argument), "--clear=yes" a flag
//   given a value (CLI11 would take "--clear=true" and "--clear=" for "--clear");
// - a word of one dash is one option, never several: "-hx" is no "-h -x";
// - some programs take long options with one dash ("-platform xcb"), which CLI11 has not;
// - "--" ends the options only where a program says so.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace command_line {

struct Reading {
    enum class Kind { FlagWithValue, Stray, MissingValue };
    struct Fault {
        Kind kind;
        std::string argument;  // as written
        std::size_t at;        // its place in the arguments, from 0
    };
    // What is wrong, in the order of the arguments: a flag given a value ("--clear=yes"); what
    // is neither an option nor a value (unknown options, other words, and where "--" ends
    // the options, that "--" and all that follows); the last option, left without its value.
    std::vector<Fault> faults;

    // The places in the arguments of the values given to option, in order.
    std::vector<std::size_t> PlacesOf(const CLI::Option* option) const;

    // Each value given, with its option and its place.
    std::vector<std::pair<const CLI::Option*, std::size_t>> values;
};

// One program's options. oneDash says which long names may also be written with one dash
// ("platform" for "-platform"); none when it is empty. With endOfOptions, "--" ends the
// options and what follows is words; else it is one more unknown option.
class Parser {
public:
    explicit Parser(std::function<bool(std::string_view name)> oneDash = {}, bool endOfOptions = false);
    ~Parser();

    // A flag, given any number of times; count() says how many. The options live as long as
    // the parser.
    CLI::Option* Flag(const std::string& names);
    // An option that takes one value each time it is given, whatever the value looks like
    // ("--text -1"); results() holds every value, in order.
    CLI::Option* Value(const std::string& names);

    // Reads args (those after the program name) into the options.
    Reading Read(const std::vector<std::string>& args);

private:
    std::unique_ptr<CLI::App> m_app;
    std::function<bool(std::string_view)> m_oneDash;
    bool m_endOfOptions;
};

// The two lines of a usage error: "PROGRAM: why", then "Try 'PROGRAM --help'.".
std::string UsageError(std::string_view program, const std::string& why);

// The exit status after a usage error, the same for the three programs.
inline constexpr int kExitUsage = 2;

}  // namespace command_line
