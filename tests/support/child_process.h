#pragma once
// Runs a program as a child process with its output on pipes, for end-to-end tests: to
// the end (Run), or left running while the test works with it (Child). Every wait is
// bounded; a child still running when its object goes is killed.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "serial/native_handle.h"

extern char** environ;

namespace testing_child {

struct Result {
    int exitCode = -1;  // -1: did not end by itself
    std::string out;
    std::string err;
};

// Drops root for the user; only calls that are safe between fork and exec.
inline bool BecomeUser(const passwd* user)
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(user->pw_gid, user->pw_gid, user->pw_gid) == 0
           && ::setresuid(user->pw_uid, user->pw_uid, user->pw_uid) == 0;
}

// How a child starts, besides its program and arguments.
struct Setup {
    std::map<std::string, std::string> env;  // set in the child's environment
    std::vector<std::string> unset;          // removed from it
    const passwd* user = nullptr;            // run as this user (the test runs as root)
    // A session of its own on this terminal: as its controlling terminal when controlling,
    // as its standard input when asInput (else /dev/null).
    std::string terminal;
    bool controlling = false;
    bool asInput = false;
};

class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args, const Setup& setup = {})
    {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        serial::OwnedHandle outRead(out[0]);
        const serial::OwnedHandle outWrite(out[1]);  // the child's ends go once it has them
        if (::pipe2(err, O_CLOEXEC) != 0)
            return;
        const serial::OwnedHandle errWrite(err[1]);
        m_out = std::move(outRead);
        m_err = serial::OwnedHandle(err[0]);
        // Everything the child needs is made before fork: after it only system calls.
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool drop = setup.env.count(name) != 0;
            for (const std::string& u : setup.unset)
                drop |= u == name;
            if (!drop)
                envStrings.push_back(entry);
        }
        for (const auto& [name, value] : setup.env)
            envStrings.push_back(name + "=" + value);
        std::vector<std::string> argStrings{program};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv = Pointers(argStrings), envp = Pointers(envStrings);
        const char* terminal = setup.terminal.empty() ? nullptr : setup.terminal.c_str();

        m_pid = ::fork();
        if (m_pid == 0) {
            int input = -1;
            if (terminal) {
                ::setsid();
                const int fd = ::open(terminal, O_RDWR | (setup.controlling ? 0 : O_NOCTTY));
                if (fd < 0 || (setup.controlling && ::ioctl(fd, TIOCSCTTY, 0) != 0))
                    ::_exit(126);
                input = setup.asInput ? fd : -1;
            }
            if (input < 0)
                input = ::open("/dev/null", O_RDONLY);
            if (::dup2(input, 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err[1], 2) < 0
                || (setup.user && !BecomeUser(setup.user)))
                ::_exit(127);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Child()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // Stops reading the output, as `program | head -2` does.
    void CloseOutput() { m_out.reset(); }

    // The next line of standard output; nullopt when none comes in time or the output ends.
    std::optional<std::string> Line(std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            if (const auto nl = m_buffer.find('\n'); nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{m_out.get(), POLLIN, 0};
            if (std::chrono::steady_clock::now() >= end || ::poll(&p, 1, 50) < 0)
                return std::nullopt;
            if (!(p.revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[512];
            const ssize_t n = ::read(m_out.get(), buffer, sizeof buffer);
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Signals the child and returns its exit status, as Wait does.
    int Stop(int signalNumber)
    {
        if (m_pid > 0)
            ::kill(m_pid, signalNumber);
        return Wait();
    }

    // The exit status; -1 when it did not exit normally. A child still running after the
    // deadline is killed.
    int Wait(std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        if (m_pid <= 0)
            return -1;
        const auto end = std::chrono::steady_clock::now() + deadline;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            ::poll(nullptr, 0, 20);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The rest of standard error, once the child has ended.
    std::string Errors()
    {
        std::string all;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(m_err.get(), buffer, sizeof buffer)) > 0)
            all.append(buffer, static_cast<std::size_t>(n));
        return all;
    }

    // All the output until both pipes close, and the exit status; a child still writing
    // after the deadline is killed (exitCode -1).
    Result Collect(std::chrono::seconds deadline)
    {
        Result result;
        const auto end = std::chrono::steady_clock::now() + deadline;
        pollfd fds[2] = {{m_out.get(), POLLIN, 0}, {m_err.get(), POLLIN, 0}};
        std::string* sinks[2] = {&result.out, &result.err};
        int open = 2;
        while (open > 0 && std::chrono::steady_clock::now() < end) {
            if (::poll(fds, 2, 100) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        const int status = Wait(open > 0 ? std::chrono::milliseconds(0) : std::chrono::seconds(10));
        result.exitCode = open == 0 ? status : -1;
        return result;
    }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& strings)
    {
        std::vector<char*> pointers;
        for (auto& s : strings)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t m_pid = -1;
    serial::OwnedHandle m_out;
    serial::OwnedHandle m_err;
    std::string m_buffer;
};

// Runs program with args to its end; env entries replace or add to this process's
// environment.
inline Result Run(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {},
                  std::chrono::seconds deadline = std::chrono::seconds(30))
{
    Setup setup;
    setup.env = env;
    return Child(program, args, setup).Collect(deadline);
}

// Runs program in a session of its own on the terminal (see Setup), to its end.
inline Result RunInSession(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& terminal, bool controlling,
                           bool asInput, std::chrono::seconds deadline = std::chrono::seconds(30))
{
    Setup setup;
    setup.env = env;
    setup.terminal = terminal;
    setup.controlling = controlling;
    setup.asInput = asInput;
    return Child(program, args, setup).Collect(deadline);
}

}  // namespace testing_child
