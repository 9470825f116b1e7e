// display-sim as a user starts it: a process with its own virtual-port folder, bytes written
// to its link, its lines read back. Waits are bounded reads, never sleeps.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/unique_fd.h"

extern char** environ;

namespace fs = std::filesystem;
using sim::UniqueFd;

namespace {

constexpr int kWaitMs = 10000;

class TempFolder {
public:
    TempFolder()
    {
        std::string tmpl = (fs::temp_directory_path() / "display-sim-test-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempFolder() { fs::remove_all(m_path); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A running display-sim with its standard output and error on pipes.
class SimProcess {
public:
    // env: NAME=VALUE entries set, or NAME alone to remove it.
    SimProcess(const std::vector<std::string>& args, const std::vector<std::string>& env)
    {
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            bool replaced = false;
            for (const std::string& change : env) {
                const std::string name = change.substr(0, change.find('='));
                replaced |= entry.rfind(name + "=", 0) == 0;
            }
            if (!replaced) environment.push_back(entry);
        }
        for (const std::string& change : env)
            if (change.find('=') != std::string::npos) environment.push_back(change);

        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        m_out = UniqueFd(out[0]);
        m_err = UniqueFd(err[0]);
        UniqueFd outWrite(out[1]), errWrite(err[1]);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
        std::vector<std::string> argStrings{DISPLAY_SIM_PATH};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : argStrings) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&m_pid, DISPLAY_SIM_PATH, &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool started() const { return m_pid > 0; }
    // Stops reading the output, as `display-sim --text | head -2` does.
    void CloseOutput() { m_out.reset(); }

    // The next line of standard output; nullopt when none comes in time or the output ends.
    std::optional<std::string> Line()
    {
        for (;;) {
            if (const auto nl = m_buffer.find('\n'); nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{m_out.get(), POLLIN, 0};
            if (::poll(&p, 1, kWaitMs) != 1) return std::nullopt;
            char buf[512];
            const ssize_t n = ::read(m_out.get(), buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            m_buffer.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Signals the process and returns its exit status, or -1 when it did not exit normally.
    int Stop(int signalNumber)
    {
        ::kill(m_pid, signalNumber);
        return Wait();
    }
    int Wait()
    {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Errors()
    {
        std::string all;
        char buf[512];
        ssize_t n;
        while ((n = ::read(m_err.get(), buf, sizeof buf)) > 0) all.append(buf, static_cast<std::size_t>(n));
        return all;
    }

private:
    pid_t m_pid = -1;
    UniqueFd m_out, m_err;
    std::string m_buffer;
};

void WriteTo(const std::string& path, const std::string& bytes)
{
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY));
    ASSERT_TRUE(fd.valid()) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

class TextMode : public ::testing::Test {
protected:
    TempFolder runtime;
    std::string ports() const { return runtime.path() + "/display-test/ports"; }
    std::vector<std::string> env() const { return {"XDG_RUNTIME_DIR=" + runtime.path()}; }
};

TEST_F(TextMode, PrintsEachNewStateOfWhatArrivesOnSim0)
{
    SimProcess sim({"--text"}, env());
    ASSERT_TRUE(sim.started());
    const auto banner = sim.Line();
    ASSERT_TRUE(banner);
    EXPECT_EQ(banner->rfind("listening on sim0 (/dev/pts/", 0), 0u) << *banner;
    EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
    ASSERT_TRUE(fs::is_symlink(ports() + "/sim0"));

    const struct {
        std::string bytes;
        const char* line;
    } rows[] = {
        {"\x0c\x1bs1\x1bQA12.50\r", "[    12.50] lamps=Price mode=still"},
        {"\x0c\x1bQD12345678\r", "[12345678] lamps=Price mode=scrolling text=\"12345678\""},
        {"\x0c\x1b\x45\x05\x1bQA8.8.8.8.8.8.8.8.\r", "[8.8.8.8.8.8.8.8.] lamps=Price mode=flickering"},
        {"\x1bs0", "[8.8.8.8.8.8.8.8.] lamps=none mode=flickering"},
        {"\x1bQA0.1234567\r", "[0.1234567] lamps=none mode=flickering"},
        {"\x0c", "[        ] lamps=none mode=still"},
    };
    for (const auto& r : rows) {
        WriteTo(ports() + "/sim0", r.bytes);
        EXPECT_EQ(sim.Line(), r.line);
    }
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
    EXPECT_TRUE(fs::is_empty(ports()));
}

TEST_F(TextMode, SecondDisplayTakesSim1AndCtrlCRemovesIt)
{
    SimProcess first({"--text"}, env());
    ASSERT_TRUE(first.Line());
    SimProcess second({"--text"}, env());
    const auto banner = second.Line();
    ASSERT_TRUE(banner);
    EXPECT_EQ(banner->rfind("listening on sim1 (", 0), 0u) << *banner;

    WriteTo(ports() + "/sim1", "\x1bQA2\r");
    EXPECT_EQ(second.Line(), "[        ] lamps=none mode=still");
    EXPECT_EQ(second.Line(), "[       2] lamps=none mode=still");

    EXPECT_EQ(second.Stop(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim1")));
    EXPECT_TRUE(fs::is_symlink(ports() + "/sim0"));
    EXPECT_EQ(first.Stop(SIGHUP), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
}

TEST_F(TextMode, EndsTidilyWhenNobodyReadsAnyMore)
{
    SimProcess sim({"--text"}, env());
    ASSERT_TRUE(sim.Line());
    ASSERT_TRUE(sim.Line());
    sim.CloseOutput();
    WriteTo(ports() + "/sim0", "\x1bQA1\r");
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports() + "/sim0")));
}

TEST_F(TextMode, ListensOnAPortAndEndsWhenItCloses)
{
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    UniqueFd masterFd(master);
    ::close(slave);

    SimProcess sim({"--text", "--port", name, "--baud=9600"}, env());
    EXPECT_EQ(sim.Line(), std::string("listening on ") + name + " (" + name + ", 9600 baud)");
    EXPECT_EQ(sim.Line(), "[        ] lamps=none mode=still");
    ASSERT_EQ(::write(master, "\x1bs3\x1bQA7\r", 8), 8);
    EXPECT_EQ(sim.Line(), "[       7] lamps=Collect mode=still");
    EXPECT_FALSE(fs::exists(ports()));  // nothing published for a real port

    masterFd.reset();
    EXPECT_EQ(sim.Line(), std::nullopt);
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.Errors().find("the line was closed"), std::string::npos);
}

TEST(CommandLine, Answers)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> env;
        int status;
        const char* out;  // in the first line of standard output
        const char* err;  // in standard error
    } rows[] = {
        {{"--help"}, {}, 0, "Usage: display-sim", ""},
        {{"--version"}, {}, 0, "display-sim 1.", ""},
        {{"--frobnicate"}, {}, 2, "", "unknown argument: --frobnicate"},
        {{"--text", "--baud", "9600"}, {}, 2, "", "--baud applies to --port"},
        {{"--port"}, {}, 2, "", "--port needs a port name"},
        {{"--port", "sim0", "--baud", "fast"}, {}, 2, "", "not a baud rate: fast"},
        {{}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, 2, "", "--text prints the display instead"},
        {{"--text", "--port", "../escape"}, {}, 1, "", "not a port name"},
    };
    for (const auto& r : rows) {
        SimProcess sim(r.args, r.env);
        const std::string first = sim.Line().value_or("");
        EXPECT_EQ(sim.Wait(), r.status) << r.args.size();
        EXPECT_NE(first.find(r.out), std::string::npos) << first;
        const std::string errors = sim.Errors();
        EXPECT_NE(errors.find(r.err), std::string::npos) << errors;
    }
}

}  // namespace
