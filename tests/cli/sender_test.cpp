// The sender's run with the port list injected: what depends on which ports exist.

#include "cli/sender.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "pty_pair.h"

namespace {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

Outcome RunWithPorts(const std::vector<std::string>& args, std::vector<std::string> ports)
{
    std::ostringstream out, err;
    cli::Environment env;
    env.discoverPorts = [ports] { return ports; };
    const int code = cli::Run(args, out, err, env);
    return {code, out.str(), err.str()};
}

TEST(Sender, ListPrintsThePortsInOrder)
{
    const auto r = RunWithPorts({"--list"}, {"sim0", "ttyS2", "ttyUSB0"});
    EXPECT_EQ(r.exitCode, cli::kExitOk);
    EXPECT_EQ(r.out, "sim0\nttyS2\nttyUSB0\n");
    EXPECT_EQ(r.err, "");
}

TEST(Sender, NoPortFound)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--list"}, std::vector<std::string>{"--clear"}}) {
        const auto r = RunWithPorts(args, {});
        EXPECT_EQ(r.exitCode, cli::kExitNoPort);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("display-send: no serial port found", 0), 0u) << r.err;
    }
}

TEST(Sender, DefaultPortIsTheFirstFound)
{
    testing_pty::PtyPair first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    const auto r = RunWithPorts({"--text", "1", "--lamp", "change"},
                                {first.path(), second.path()});
    EXPECT_EQ(r.exitCode, cli::kExitOk) << r.err;
    EXPECT_EQ(first.ReadAtLeast(9),
              (std::vector<std::uint8_t>{0x0C, 0x1B, 0x73, 0x34, 0x1B, 0x51, 0x41, 0x31, 0x0D}));
    EXPECT_TRUE(second.ReadAtLeast(0).empty());
}

TEST(Sender, BadInputIsRefusedBeforeLookingForAPort)
{
    bool looked = false;
    std::ostringstream out, err;
    cli::Environment env;
    env.discoverPorts = [&looked] {
        looked = true;
        return std::vector<std::string>{};
    };
    EXPECT_EQ(cli::Run({"--hex", "1G"}, out, err, env), cli::kExitBadHex);
    EXPECT_EQ(cli::Run({"--text"}, out, err, env), cli::kExitBadArguments);
    EXPECT_FALSE(looked);
}

TEST(ParseArguments, DefaultsAndLampNames)
{
    const auto parsed = cli::ParseArguments({"--text", "8.8"});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->port, "");
    EXPECT_EQ(parsed.options->baud, 2400u);
    EXPECT_EQ(parsed.options->lamp, protocol::Lamp::AllDark);

    struct Row { const char* name; std::optional<protocol::Lamp> lamp; };
    const Row rows[] = {
        {"off", protocol::Lamp::AllDark}, {"price", protocol::Lamp::Price},
        {"Total", protocol::Lamp::Total}, {"COLLECT", protocol::Lamp::Collect},
        {"change", protocol::Lamp::Change}, {"", std::nullopt}, {"none", std::nullopt},
        {"prices", std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(cli::ParseLamp(r.name), r.lamp) << r.name;
}

TEST(ParseArguments, HelpWinsOverEverythingElse)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--clear", "--help"}, std::vector<std::string>{"-h", "--bogus"}}) {
        const auto parsed = cli::ParseArguments(args);
        ASSERT_TRUE(parsed.options);
        EXPECT_EQ(parsed.options->command, cli::Command::Help);
    }
}

}  // namespace
