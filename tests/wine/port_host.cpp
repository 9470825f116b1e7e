// wine-port-host: the Linux side of the Windows tests that need a serial line.
//
// It gives a Wine prefix serial ports made of pseudo-terminals, runs one Windows test
// program under Wine, and answers the program's questions about the far end of those
// lines: what arrived, and with which terminal settings. The Windows program asks on its
// standard output and reads the answer on its standard input (tests/wine/port_host_client.h);
// every other line of its output is passed on.
//
//   wine-port-host --wine-run SCRIPT --prefix DIR [--port comN]... [--device comN=PATH]...
//                  [--native-send PROGRAM] -- PROGRAM.exe [ARGUMENT...]
//
// --port makes a line of a pseudo-terminal pair; --device links a COM port to a file that
// is no terminal at all (/dev/null), a port that opens but cannot be configured.
//
// Requests, one line each, after the marker "@@port-host ":
//   termios COMn           -> ok ispeed=2400 ospeed=2400 csize=8 parenb=0 cstopb=0 ...
//   read COMn COUNT MS     -> ok HEX   (up to COUNT bytes, waiting at most MS ms for them)
//   quiet COMn MS          -> ok HEX   (what arrives until the line has been quiet MS ms)
//   write COMn HEX         -> ok       (the bytes go out on the line towards the program,
//                             as a sender at the far end writes them)
//   stall COMn / resume COMn -> ok     (output on the line stops, as when the display
//                             holds it with flow control, and goes on again)
//   unplug COMn / plug COMn -> ok     (the line goes away: its link and both ends of its
//                             pseudo-terminal; then a new one comes under the same name)
//   native-send xHEX...    -> ok EXIT HEX  (the Linux display-send, run on a terminal of
//                             its own with the arguments given, and the bytes it sent)
//   serve COMn rfc2217|tcp -> ok PORT  (ser2net in front of the line, on a free port of
//                             127.0.0.1; the same kind again: started again on its port)
//   unserve COMn           -> ok       (that ser2net killed, as a device server that fails)
//   arrival COMn           -> ok SPEED (the line's speed when bytes last arrived on it:
//                             a device server puts its own back once its client left)
//   pyserial URL BAUD HEX  -> ok EXIT  (pyserial's client, /usr/bin/python3, opens URL at
//                             BAUD, writes the bytes, waits until they left and closes)
// A request that cannot be served is answered "error REASON".
//
// Only the ports named on the command line exist in the prefix while the program runs:
// every other COM link is removed first, so no test can reach a real serial device.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "serial/native_handle.h"
#include "tests/support/device_server.h"
#include "tests/support/pty_pair.h"
#include "tests/wine/hex_words.h"

namespace {

using wine_host::Hex;
using wine_host::Unhex;

using Clock = std::chrono::steady_clock;

constexpr char kMarker[] = "@@port-host ";
constexpr int kMaxPorts = 256;
// A Windows test program that runs longer than this has hung.
constexpr auto kChildDeadline = std::chrono::seconds(300);
// The Linux display-send ends after one message; a generous bound for a loaded machine.
constexpr auto kNativeSendDeadline = std::chrono::seconds(30);

[[noreturn]] void Die(const std::string& message)
{
    std::fprintf(stderr, "wine-port-host: %s\n", message.c_str());
    std::exit(2);
}

std::string ErrnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

using Fd = serial::OwnedHandle;
using Line = testing_support::PtyPair<std::string>;

// A pseudo-terminal pair, raw from the start: the far end of a serial line changes
// nothing either. The host holds the slave too, so that the master never reads EIO while
// the Windows side has the port closed.
std::unique_ptr<Line> OpenLine()
{
    auto line = std::make_unique<Line>();
    termios settings{};
    if (!line->ok() || ::tcgetattr(line->slave(), &settings) != 0)
        Die(ErrnoText("openpty"));
    ::cfmakeraw(&settings);
    ::tcsetattr(line->slave(), TCSANOW, &settings);
    return line;
}

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Up to count bytes from the master, waiting until the deadline for them.
std::string ReadUntil(int master, std::size_t count, Clock::time_point deadline)
{
    std::string got;
    while (got.size() < count) {
        pollfd pfd{master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[4096];
        const std::size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = ::read(master, buffer, want);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

int SpeedValue(speed_t speed)
{
    static const std::pair<speed_t, int> table[] = {
        {B0, 0},         {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},     {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},
        {B1800, 1800},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
    };
    for (const auto& [constant, value] : table) {
        if (constant == speed)
            return value;
    }
    return -1;
}

std::string DescribeSettings(int slave)
{
    termios t{};
    if (::tcgetattr(slave, &t) != 0)
        return "error " + ErrnoText("tcgetattr");
    const auto flag = [](tcflag_t set, tcflag_t bit) { return (set & bit) != 0 ? 1 : 0; };
    int csize = 0;
    switch (t.c_cflag & CSIZE) {
    case CS5: csize = 5; break;
    case CS6: csize = 6; break;
    case CS7: csize = 7; break;
    case CS8: csize = 8; break;
    }
    std::ostringstream out;
    out << "ok ispeed=" << SpeedValue(::cfgetispeed(&t)) << " ospeed=" << SpeedValue(::cfgetospeed(&t))
        << " csize=" << csize << " parenb=" << flag(t.c_cflag, PARENB) << " cstopb=" << flag(t.c_cflag, CSTOPB)
        << " cread=" << flag(t.c_cflag, CREAD) << " clocal=" << flag(t.c_cflag, CLOCAL)
        << " crtscts=" << flag(t.c_cflag, CRTSCTS) << " opost=" << flag(t.c_oflag, OPOST)
        << " icanon=" << flag(t.c_lflag, ICANON) << " echo=" << flag(t.c_lflag, ECHO)
        << " ixon=" << flag(t.c_iflag, IXON) << " istrip=" << flag(t.c_iflag, ISTRIP);
    return out.str();
}

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The number of a port named "COMn" (in any case), or 0 for any other name.
int ComNumber(const std::string& name)
{
    if (name.size() < 4 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm')
        return 0;
    const int n = std::atoi(name.c_str() + 3);
    return n >= 1 && n <= kMaxPorts ? n : 0;
}

// Starts argv with the given standard input and output; stderr is shared.
pid_t Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
            const std::vector<std::pair<std::string, std::string>>& env)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        Die(ErrnoText("fork"));
    if (pid == 0) {
        ::setpgid(0, 0);
        if (stdinFd >= 0)
            ::dup2(stdinFd, STDIN_FILENO);
        if (stdoutFd >= 0)
            ::dup2(stdoutFd, STDOUT_FILENO);
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::fprintf(stderr, "wine-port-host: cannot run %s: %s\n", args[0], std::strerror(errno));
        ::_exit(127);
    }
    return pid;
}

int WaitExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

class Host {
public:
    std::string wineRun;
    std::string prefix;
    std::string nativeSend;
    std::string dosdevices;
    std::map<int, std::unique_ptr<Line>> lines;                             // by COM number
    std::map<int, std::unique_ptr<testing_support::DeviceServer>> servers;  // in front of lines
    // What arrived on a served line, taken as it comes: ser2net flushes the terminal when
    // its client leaves, and with it whatever the master had not read yet.
    std::map<int, std::string> caught;
    std::map<int, int> arrivalSpeed;

    // The masters of the served lines, to watch beside the requests.
    std::vector<std::pair<int, int>> ServedMasters() const
    {
        std::vector<std::pair<int, int>> masters;
        for (const auto& [n, server] : servers) {
            if (const auto line = lines.find(n); line != lines.end())
                masters.emplace_back(n, line->second->master());
        }
        return masters;
    }
    void Catch(int n, int master)
    {
        char buffer[4096];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            caught[n].append(buffer, static_cast<std::size_t>(got));
            NoteArrival(n);
        }
    }

    std::string Serve(const std::string& request)
    {
        const std::vector<std::string> words = Words(request);
        if (words.empty())
            return "error empty request";
        const std::string& verb = words[0];
        if (verb == "termios" && words.size() == 2) {
            const Line* line = Find(words[1]);
            return line ? DescribeSettings(line->slave()) : "error no such line " + words[1];
        }
        if (verb == "read" && words.size() == 4) {
            const Line* line = Find(words[1]);
            if (!line)
                return "error no such line " + words[1];
            const auto count = std::strtoul(words[2].c_str(), nullptr, 10);
            const auto deadline = Clock::now() + std::chrono::milliseconds(std::atoi(words[3].c_str()));
            std::string got = Take(words[1], count);
            const std::string more = ReadUntil(line->master(), count - got.size(), deadline);
            if (!more.empty())
                NoteArrival(ComNumber(words[1]));
            got += more;
            return "ok " + Hex(got);
        }
        if (verb == "quiet" && words.size() == 3) {
            const Line* line = Find(words[1]);
            if (!line)
                return "error no such line " + words[1];
            const std::string got = Take(words[1], std::string::npos);
            return "ok " + Hex(got + line->ReadAll(std::atoi(words[2].c_str()), std::atoi(words[2].c_str())));
        }
        if (verb == "write" && words.size() == 3) {
            const Line* line = Find(words[1]);
            if (!line)
                return "error no such line " + words[1];
            const auto bytes = Unhex(words[2]);
            if (!bytes)
                return "error not hexadecimal: " + words[2];
            if (::write(line->master(), bytes->data(), bytes->size()) != static_cast<ssize_t>(bytes->size()))
                return "error " + ErrnoText("write");
            return "ok";
        }
        if ((verb == "stall" || verb == "resume") && words.size() == 2) {
            const Line* line = Find(words[1]);
            if (!line)
                return "error no such line " + words[1];
            if (!(verb == "stall" ? line->Stall() : line->Resume()))
                return "error " + ErrnoText("tcflow");
            return "ok";
        }
        if ((verb == "unplug" || verb == "plug") && words.size() == 2) {
            const int n = ComNumber(words[1]);
            if (n == 0)
                return "error no such port " + words[1];
            const std::string link = dosdevices + "/com" + std::to_string(n);
            if (verb == "unplug") {
                servers.erase(n);
                if (lines.erase(n) == 0)
                    return "error no such line " + words[1];
                ::unlink(link.c_str());
                return "ok";
            }
            if (lines.count(n) != 0)
                return "error plugged already " + words[1];
            auto line = OpenLine();
            if (::symlink(line->path().c_str(), link.c_str()) != 0)
                return "error " + ErrnoText("symlink " + link);
            lines.emplace(n, std::move(line));
            return "ok";
        }
        if (verb == "serve" && words.size() == 3) {
            const Line* line = Find(words[1]);
            if (!line || (words[2] != "rfc2217" && words[2] != "tcp"))
                return "error cannot serve " + words[1] + " as " + words[2];
            auto& server = servers[ComNumber(words[1])];
            const auto kind = words[2] == "tcp" ? testing_support::DeviceServer::Accepter::RawTcp
                                                : testing_support::DeviceServer::Accepter::Rfc2217;
            if (!server || server->Name().rfind(words[2] + "://", 0) != 0)
                server = std::make_unique<testing_support::DeviceServer>(line->path(), kind);
            else if (!server->Running())
                server->Start();
            return server->Running() ? "ok " + std::to_string(server->Port()) : "error ser2net did not start";
        }
        if (verb == "unserve" && words.size() == 2) {
            const auto it = servers.find(ComNumber(words[1]));
            if (it == servers.end())
                return "error no server for " + words[1];
            it->second->Kill();
            return "ok";
        }
        if (verb == "arrival" && words.size() == 2) {
            const auto it = arrivalSpeed.find(ComNumber(words[1]));
            return "ok " + std::to_string(it == arrivalSpeed.end() ? -1 : it->second);
        }
        if (verb == "pyserial" && words.size() == 4) {
            const auto bytes = Unhex(words[3]);
            if (!bytes)
                return "error not hexadecimal: " + words[3];
            const auto run =
                testing_child::Run(testing_support::kSystemPython,
                                   {"-c",
                                    "import serial,sys\n"
                                    "s = serial.serial_for_url(sys.argv[1], baudrate=int(sys.argv[2]), timeout=5)\n"
                                    "s.write(bytes.fromhex(sys.argv[3])); s.flush(); s.close()",
                                    words[1], words[2], words[3]});
            if (run.exitCode != 0)
                std::fprintf(stderr, "wine-port-host: pyserial: %s", run.err.c_str());
            return "ok " + std::to_string(run.exitCode);
        }
        if (verb == "native-send")
            return NativeSend(std::vector<std::string>(words.begin() + 1, words.end()));
        return "error unknown request: " + request;
    }

private:
    void NoteArrival(int n)
    {
        termios t{};
        const auto line = lines.find(n);
        if (line != lines.end() && ::tcgetattr(line->second->slave(), &t) == 0)
            arrivalSpeed[n] = SpeedValue(::cfgetospeed(&t));
    }

    // Up to count bytes caught on the line before the request.
    std::string Take(const std::string& name, std::size_t count)
    {
        std::string& bytes = caught[ComNumber(name)];
        std::string got = bytes.substr(0, count);
        bytes.erase(0, got.size());
        return got;
    }

    const Line* Find(const std::string& name) const
    {
        const auto it = lines.find(ComNumber(name));
        return it == lines.end() ? nullptr : it->second.get();
    }

    std::string NativeSend(const std::vector<std::string>& hexArgs)
    {
        if (nativeSend.empty())
            return "error no native display-send given";
        std::vector<std::string> argv{nativeSend, "--port", ""};
        for (const std::string& h : hexArgs) {
            const auto arg = h.empty() || h[0] != 'x' ? std::nullopt : Unhex(h.substr(1));
            if (!arg)
                return "error bad argument " + h;
            argv.push_back(*arg);
        }
        const auto line = OpenLine();
        argv[2] = line->path();
        Fd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
        const pid_t pid = Spawn(argv, devNull.get(), devNull.get(), {});
        // Collect while it runs, so that a long message never fills the terminal's buffer.
        const auto deadline = Clock::now() + kNativeSendDeadline;
        std::string got;
        int status = -1;
        for (;;) {
            got += line->ReadAll(50, 50);
            int raw = 0;
            if (::waitpid(pid, &raw, WNOHANG) == pid) {
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
                break;
            }
            if (Clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                WaitExit(pid);
                return "error the Linux display-send did not finish";
            }
        }
        got += line->ReadAll(100, 100);
        return "ok " + std::to_string(status) + " " + Hex(got);
    }
};

void RemoveComLinks(const std::string& dosdevices)
{
    for (int n = 1; n <= kMaxPorts; ++n) {
        const std::string link = dosdevices + "/com" + std::to_string(n);
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(link.c_str());
    }
}

void RunQuietly(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env)
{
    Fd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    const int status = WaitExit(Spawn(argv, devNull.get(), -1, env));
    if (status != 0)
        Die(argv[0] + " exited with " + std::to_string(status));
}

void WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Host host;
    std::vector<int> ports;
    std::vector<std::pair<int, std::string>> devices;
    std::vector<std::string> program;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Die("missing value after " + arg);
            return argv[++i];
        };
        if (arg == "--wine-run") {
            host.wineRun = value();
        } else if (arg == "--prefix") {
            host.prefix = value();
        } else if (arg == "--native-send") {
            host.nativeSend = value();
        } else if (arg == "--port") {
            const std::string name = value();
            const int n = ComNumber(name);
            if (n == 0)
                Die("bad port " + name);
            ports.push_back(n);
        } else if (arg == "--device") {
            const std::string mapping = value();
            const auto eq = mapping.find('=');
            const int n = ComNumber(mapping.substr(0, eq));
            if (eq == std::string::npos || n == 0)
                Die("bad device " + mapping);
            devices.emplace_back(n, mapping.substr(eq + 1));
        } else if (arg == "--") {
            program.assign(argv + i + 1, argv + argc);
            break;
        } else {
            Die("unknown argument " + arg);
        }
    }
    if (host.wineRun.empty() || host.prefix.empty() || program.empty())
        Die("usage: wine-port-host --wine-run SCRIPT --prefix DIR [--port comN]... "
            "[--device comN=PATH]... [--native-send PROGRAM] -- PROGRAM.exe [ARGUMENT...]");

    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::pair<std::string, std::string>> wineEnv{
        {"WINEPREFIX", host.prefix}, {"WINEDEBUG", "-all"}, {"DISPLAY", ""}};

    // The prefix exists before its port links are made.
    RunQuietly({host.wineRun, host.prefix, "--prepare"}, wineEnv);

    // One set of ports per prefix at a time.
    Fd lock(::open((host.prefix + ".ports.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0 || ::flock(lock.get(), LOCK_EX) != 0)
        Die(ErrnoText("lock " + host.prefix + ".ports.lock"));

    const std::string dosdevices = host.prefix + "/dosdevices";
    host.dosdevices = dosdevices;
    RemoveComLinks(dosdevices);
    for (int n : ports) {
        auto line = OpenLine();
        const std::string link = dosdevices + "/com" + std::to_string(n);
        if (::symlink(line->path().c_str(), link.c_str()) != 0)
            Die(ErrnoText("symlink " + link));
        host.lines.emplace(n, std::move(line));
    }
    for (const auto& [n, path] : devices) {
        const std::string link = dosdevices + "/com" + std::to_string(n);
        if (::symlink(path.c_str(), link.c_str()) != 0)
            Die(ErrnoText("symlink " + link));
    }

    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
        Die(ErrnoText("pipe"));
    std::vector<std::string> command{host.wineRun, host.prefix};
    command.insert(command.end(), program.begin(), program.end());
    auto childEnv = wineEnv;
    childEnv.emplace_back("DISPLAYTEST_PORT_HOST", "1");
    const pid_t child = Spawn(command, toChild[0], fromChild[1], childEnv);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    Fd requests(fromChild[0]);
    Fd answers(toChild[1]);

    const auto deadline = Clock::now() + kChildDeadline;
    bool timedOut = false;
    std::string pending;
    for (;;) {
        const auto masters = host.ServedMasters();
        std::vector<pollfd> fds{{requests.get(), POLLIN, 0}};
        for (const auto& [n, master] : masters)
            fds.push_back({master, POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            timedOut = true;
            break;
        }
        for (std::size_t i = 0; i < masters.size(); ++i) {
            if ((fds[i + 1].revents & POLLIN) != 0)
                host.Catch(masters[i].first, masters[i].second);
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(requests.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::size_t marker = line.find(kMarker);
            if (marker == std::string::npos) {
                std::fwrite(line.data(), 1, line.size(), stdout);
                std::fputc('\n', stdout);
                std::fflush(stdout);
                continue;
            }
            // Output that was not ended by a line break before the request.
            if (marker > 0) {
                std::fwrite(line.data(), 1, marker, stdout);
                std::fputc('\n', stdout);
            }
            WriteAll(answers.get(), host.Serve(line.substr(marker + sizeof kMarker - 1)) + "\n");
        }
    }
    if (!pending.empty())
        std::fwrite(pending.data(), 1, pending.size(), stdout);
    std::fflush(stdout);

    if (timedOut) {
        std::fprintf(stderr, "wine-port-host: %s did not finish in time\n", program[0].c_str());
        ::kill(-child, SIGKILL);
    }
    answers.reset();
    const int status = WaitExit(child);

    // Wine's server opened the terminals, and a terminal that hangs up while the server
    // still runs would reach it as a signal: let it end before the lines close.
    RunQuietly({"wineserver", "-w"}, wineEnv);
    RemoveComLinks(dosdevices);
    host.servers.clear();
    host.lines.clear();
    return timedOut ? 124 : status;
}
