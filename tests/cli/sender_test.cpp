// The sender's run with the port list injected: what depends on which ports exist.

#include "cli/sender.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/permission_advice.h"
#include "tests/support/fake_machine.h"
#include "tests/support/pty_pair.h"

namespace {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

// The sender's run with these ports found; --list describes each as describe says, or
// names it alone when describe is empty.
Outcome RunWithPorts(const std::vector<std::string>& args, std::vector<std::string> ports,
                     std::function<std::string(const std::string&)> describe = {})
{
    std::ostringstream out, err;
    const int code = cli::Run(args, out, err, {[ports] { return ports; }, describe, {}});
    return {code, out.str(), err.str()};
}

TEST(Sender, ListPrintsThePortsInOrderEachDescribedAfterATab)
{
    const std::function<std::string(const std::string&)> describe = [](const std::string& port) {
        return std::string(port == "sim0"      ? "virtual display"
                           : port == "ttyUSB0" ? "USB serial: FT232R USB UART"
                                               : "serial port");
    };
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> ports;
        bool described;
        std::string out;
    };
    const Row rows[] = {
        {{"--list"}, {"sim0", "ttyS2", "ttyUSB0"}, false, "sim0\nttyS2\nttyUSB0\n"},
        {{"--list"},
         {"sim0", "ttyUSB0", "/dev/rfcomm0"},
         true,
         "sim0\tvirtual display\nttyUSB0\tUSB serial: FT232R USB UART\n/dev/rfcomm0\tserial port\n"},
        {{"--list", "--names"}, {"sim0", "ttyUSB0", "/dev/rfcomm0"}, true, "sim0\nttyUSB0\n/dev/rfcomm0\n"},
        {{"--names", "--list"}, {"sim0", "ttyUSB0", "/dev/rfcomm0"}, true, "sim0\nttyUSB0\n/dev/rfcomm0\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        const auto result = RunWithPorts(r.args, r.ports, r.described ? describe : nullptr);
        EXPECT_EQ(result.exitCode, cli::kExitOk);
        EXPECT_EQ(result.out, r.out);
        EXPECT_EQ(result.err, "");
    }
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
    testing_support::PtyPair<> first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    const auto r = RunWithPorts({"--text", "1", "--lamp", "change"}, {first.path(), second.path()});
    EXPECT_EQ(r.exitCode, cli::kExitOk) << r.err;
    EXPECT_EQ(first.ReadAtLeast(9), (std::vector<std::uint8_t>{0x0C, 0x1B, 0x73, 0x34, 0x1B, 0x51, 0x41, 0x31, 0x0D}));
    EXPECT_TRUE(second.ReadAtLeast(0).empty());
}

// The kernel's console, on a fake machine whose console is a pseudo-terminal: refused and
// left untouched unless the user insists, and then put back as it was found.
TEST(Sender, TheKernelsConsoleOpensOnlyWithForce)
{
    testing_support::FakeMachine machine;
    testing_support::PtyPair<> console;
    ASSERT_TRUE(console.ok() && !machine.root().empty());
    struct stat st {};
    ASSERT_EQ(stat(console.path().c_str(), &st), 0);
    std::filesystem::create_directories(machine.roots.sysClassTty + "/ttyS0");
    std::filesystem::create_directories(machine.roots.sysClassTty + "/console");
    std::ofstream(machine.roots.sysClassTty + "/ttyS0/dev") << major(st.st_rdev) << ":" << minor(st.st_rdev) << "\n";
    std::ofstream(machine.roots.sysClassTty + "/console/active") << "tty0 ttyS0\n";
    termios before{};
    ASSERT_TRUE(console.LineSettings(&before));
    cfsetspeed(&before, B19200);
    ASSERT_EQ(tcsetattr(console.slave(), TCSANOW, &before), 0);
    ASSERT_TRUE(console.LineSettings(&before));

    cli::Environment env;
    env.openOptions.sysClassTty = machine.roots.sysClassTty;
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string err;
        std::vector<std::uint8_t> wire;
    };
    const Row rows[] = {
        {{"--port", console.path(), "--clear"},
         cli::kExitCannotOpen,
         "display-send: cannot open \"" + console.path()
             + "\": it is the kernel's console (the kernel writes its "
               "messages there); --force opens it all the same\n",
         {}},
        {{"--force", "--port", console.path(), "--clear"}, cli::kExitOk, "", {0x0C}},
        {{"--list", "--force"},
         cli::kExitBadArguments,
         "display-send: --list takes no other option than --names\nTry 'display-send --help'.\n",
         {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        std::ostringstream out, err;
        EXPECT_EQ(cli::Run(r.args, out, err, env), r.exitCode);
        EXPECT_EQ(err.str(), r.err);
        EXPECT_EQ(console.ReadAtLeast(r.wire.size(), std::chrono::seconds(2)), r.wire);
        termios after{};
        ASSERT_TRUE(console.LineSettings(&after));
        EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0) << "the console's settings changed";
        int exclusive = -1;
        ASSERT_EQ(ioctl(console.slave(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
    }
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

    struct Row {
        const char* name;
        std::optional<protocol::Lamp> lamp;
    };
    const Row rows[] = {
        {"off", protocol::Lamp::AllDark},
        {"price", protocol::Lamp::Price},
        {"Total", protocol::Lamp::Total},
        {"COLLECT", protocol::Lamp::Collect},
        {"change", protocol::Lamp::Change},
        {"", std::nullopt},
        {"none", std::nullopt},
        {"prices", std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(cli::ParseLamp(r.name), r.lamp) << r.name;
}

TEST(ControlCharacterNames, EachOnceInTheOrderSeen)
{
    using Names = std::vector<std::string>;
    struct Row {
        std::string text;
        Names names;
    };
    const Row rows[] = {
        {"12.50", {}},
        {"", {}},
        {"\r", {"CR"}},
        {"1\x1b@2\x1b"
         "A\r",
         {"ESC", "CR"}},
        {std::string("\0x", 2), {"NUL"}},
        {"\x1f\x7f\x0c\x18", {"US", "DEL", "FF", "CAN"}},
        {"\xE4\xB8\xAD \xC2\x85", {}},  // bytes of UTF-8 characters are no controls
    };
    for (const Row& r : rows)
        EXPECT_EQ(cli::ControlCharacterNames(r.text), r.names) << testing::PrintToString(r.text);
}

TEST(PermissionAdvice, DialoutHintOnlyWhereItHelps)
{
    const std::string dialoutHint =
        "serial ports belong to the dialout group: sudo usermod -aG dialout $USER, then log in again";
    struct Row {
        const char* group;
        const char* owner;
        std::vector<std::string> userGroups;
        std::string advice;
    };
    const Row rows[] = {
        {"dialout", "root", {"alice", "users"}, dialoutHint},
        {"dialout", "root", {}, dialoutHint},
        {"uucp",
         "root",
         {"wheel"},
         "serial ports belong to the uucp group: sudo usermod -aG uucp $USER, then log in again"},
        // In the group already: joining it again would not help.
        {"dialout", "root", {"users", "dialout"}, "the device belongs to user root and group dialout"},
        {"tty", "root", {"users"}, "the device belongs to user root and group tty"},
        {"plugdev", "bob", {"dialout"}, "the device belongs to user bob and group plugdev"},
        {"1234", "5678", {"users"}, "the device belongs to user 5678 and group 1234"},
        {"Dialout", "root", {}, "the device belongs to user root and group Dialout"},
        {"", "", {}, ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(cli::PermissionAdvice(r.group, r.owner, r.userGroups), r.advice) << r.group;
}

// The sender's run in a child process as user nobody with the given supplementary groups.
Outcome RunAsNobody(const std::vector<std::string>& args, const std::vector<gid_t>& groups)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {-1, "", "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        std::ostringstream out, err;
        const int code = cli::Run(args, out, err, cli::Environment{});
        const std::string text = err.str();
        (void)!write(pipeFds[1], text.data(), text.size());
        _exit(code);
    }
    close(pipeFds[1]);
    std::string err;
    char buffer[1024];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", err};
}

TEST(Sender, PermissionDeniedNamesTheDialoutGroupOnlyWhereItHelps)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "running the sender as another user needs root";
    // getgrnam's answer lasts until its next call.
    auto gidOf = [](const char* name) -> std::optional<gid_t> {
        const group* g = getgrnam(name);
        return g ? std::optional<gid_t>(g->gr_gid) : std::nullopt;
    };
    const auto dialout = gidOf("dialout"), uucp = gidOf("uucp"), tty = gidOf("tty");
    if (!dialout || !uucp || !tty)
        GTEST_SKIP() << "this machine lacks one of the groups dialout, uucp, tty";

    struct Row {
        gid_t deviceGroup;
        mode_t mode;
        std::vector<gid_t> userGroups;
        const char* says;
    };
    const Row rows[] = {
        {*dialout, 0660, {}, "; serial ports belong to the dialout group: sudo usermod -aG dialout"},
        {*uucp, 0660, {}, "; serial ports belong to the uucp group: sudo usermod -aG uucp"},
        {*tty, 0620, {}, "; the device belongs to user root and group tty"},
        {*dialout, 0600, {*dialout}, "; the device belongs to user root and group dialout"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.says);
        testing_support::PtyPair<> line;
        ASSERT_TRUE(line.ok());
        ASSERT_EQ(fchown(line.slave(), 0, r.deviceGroup), 0);
        ASSERT_EQ(fchmod(line.slave(), r.mode), 0);
        const auto result = RunAsNobody({"--port", line.path(), "--clear"}, r.userGroups);
        EXPECT_EQ(result.exitCode, cli::kExitCannotOpen) << result.err;
        EXPECT_NE(result.err.find("cannot open \"" + line.path() + "\": permission denied"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find(r.says), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("usermod") != std::string::npos, r.mode == 0660) << result.err;
        EXPECT_TRUE(line.ReadAtLeast(0).empty());
    }
}

// A port in a folder the user may not search: the folder is what refuses, not the port.
TEST(Sender, AFolderThatCannotBeSearchedIsNamed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "running the sender as another user needs root";
    testing_support::FakeMachine machine;  // its folders are root's alone
    testing_support::PtyPair<> line;
    ASSERT_TRUE(line.ok() && !machine.root().empty());
    ASSERT_EQ(chmod(line.path().c_str(), 0666), 0);
    const std::string folder = machine.root() + "/dev";
    std::filesystem::create_symlink(line.path(), folder + "/ttyUSB0");
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    const auto result = RunAsNobody({"--port", folder + "/ttyUSB0", "--clear"}, {});
    EXPECT_EQ(result.exitCode, cli::kExitCannotOpen);
    EXPECT_EQ(result.err, "display-send: cannot open \"" + folder + "/ttyUSB0\": permission denied (" + folder
                              + ": Permission denied)\n");
    EXPECT_TRUE(line.ReadAtLeast(0).empty());
}

TEST(ParseArguments, HelpWinsOverEverythingElse)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--clear", "--help"}, std::vector<std::string>{"-h", "--bogus"},
          std::vector<std::string>{"--clear=yes", "--help"}}) {
        const auto parsed = cli::ParseArguments(args);
        ASSERT_TRUE(parsed.options);
        EXPECT_EQ(parsed.options->command, cli::Command::Help);
    }
}

}  // namespace
