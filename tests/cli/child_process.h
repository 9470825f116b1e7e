#pragma once
// Runs a program as a child process with its output captured, for end-to-end tests.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace testing_child {

struct Result {
    int exitCode = -1;  // -1: did not end by itself
    std::string out;
    std::string err;
};

namespace detail {

inline std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& env)
{
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('='))))
            envStrings.push_back(entry);
    }
    for (const auto& [name, value] : env)
        envStrings.push_back(name + "=" + value);
    return envStrings;
}

inline std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Gathers the child's output until both pipes close or the deadline passes (then the
// child is killed), and its exit status.
inline Result Collect(pid_t pid, int outFd, int errFd, std::chrono::seconds deadline)
{
    Result result;
    const auto end = std::chrono::steady_clock::now() + deadline;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < end) {
        if (poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (open == 0 && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace detail

// Runs program with args; env entries replace or add to this process's environment.
// A child still running after the deadline is killed.
inline Result Run(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {},
                  std::chrono::seconds deadline = std::chrono::seconds(30))
{
    Result result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }

    std::vector<std::string> envStrings = detail::EnvironmentWith(env);
    std::vector<char*> envp = detail::Pointers(envStrings);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = detail::Pointers(argStrings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);

    if (spawned == 0)
        result = detail::Collect(pid, outPipe[0], errPipe[0], deadline);
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
}

// Runs program in a session of its own, given the terminal at terminal: as its
// controlling terminal when controlling, as its standard input when asInput (else
// /dev/null). Output is captured as by Run.
inline Result RunInSession(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env,
                           const std::string& terminal, bool controlling, bool asInput,
                           std::chrono::seconds deadline = std::chrono::seconds(30))
{
    Result result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    // Everything the child needs is made before fork: after it only system calls.
    std::vector<std::string> envStrings = detail::EnvironmentWith(env);
    std::vector<char*> envp = detail::Pointers(envStrings);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = detail::Pointers(argStrings);

    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int fd = open(terminal.c_str(), O_RDWR | (controlling ? 0 : O_NOCTTY));
        if (fd < 0 || (controlling && ioctl(fd, TIOCSCTTY, 0) != 0))
            _exit(126);
        const int input = asInput ? fd : open("/dev/null", O_RDONLY);
        dup2(input, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid > 0)
        result = detail::Collect(pid, outPipe[0], errPipe[0], deadline);
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
}

// A program left running while a test works with it (a virtual display): its standard
// output on a pipe, read a line at a time; killed when the object goes.
class Background {
public:
    Background(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env)
    {
        int outPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0)
            return;
        m_out = outPipe[0];
        std::vector<std::string> envStrings = detail::EnvironmentWith(env);
        std::vector<char*> envp = detail::Pointers(envStrings);
        std::vector<std::string> argStrings{program};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv = detail::Pointers(argStrings);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
    }
    ~Background()
    {
        Stop(SIGKILL);
        if (m_out >= 0)
            close(m_out);
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // The next line of output, or empty when none comes within the deadline.
    std::string Line(std::chrono::seconds deadline = std::chrono::seconds(10))
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (m_buffer.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buffer[512];
            const ssize_t n = read(m_out, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_buffer.append(buffer, static_cast<std::size_t>(n));
        }
        const auto nl = m_buffer.find('\n');
        if (nl == std::string::npos)
            return {};
        std::string line = m_buffer.substr(0, nl);
        m_buffer.erase(0, nl + 1);
        return line;
    }

    // Signals the program and waits for it; its exit status, or -1.
    int Stop(int signalNumber)
    {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, signalNumber);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

}  // namespace testing_child
