#include "cli/platform.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>

#include <grp.h>
#include <signal.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "cli/permission_advice.h"

namespace cli {

// A terminal here takes UTF-8 as it is.
std::ostream& Out()
{
    return std::cout;
}

std::ostream& Err()
{
    return std::cerr;
}

namespace {

std::string UserName(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid)
{
    const group* gr = ::getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
}

// The groups this process runs with: those of the login session, which is what counts
// (a group added since needs a new login).
std::vector<std::string> ProcessGroups()
{
    std::vector<std::string> names{GroupName(::getegid())};
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> ids(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count > 0 && ::getgroups(count, ids.data()) == count) {
        for (const gid_t id : ids)
            names.push_back(GroupName(id));
    }
    return names;
}

// The controlling terminal as the kernel records it, 0 when there is none.
dev_t ControllingTerminal()
{
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold spaces; the fields after it do not.
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    long long parent = 0, group = 0, session = 0;
    unsigned long long tty = 0;
    if (!(fields >> state >> parent >> group >> session >> tty) || tty == 0)
        return 0;
    return makedev((tty >> 8) & 0xFFF, (tty & 0xFF) | ((tty >> 12) & 0xFFF00));
}

constexpr int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP};
// How long the wait for a signal lasts before it looks whether work is done.
constexpr long kSignalCheckNs = 20'000'000;

// Blocks the signals in this thread, and so in every thread it starts, until it goes.
class SignalsBlocked {
public:
    SignalsBlocked()
    {
        sigemptyset(&m_set);
        for (const int s : kHeldSignals)
            sigaddset(&m_set, s);
        ::pthread_sigmask(SIG_BLOCK, &m_set, &m_previous);
    }
    ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

    // A signal that came, taken so that it is no longer pending; 0 when none came in time.
    int Take(long nanoseconds) const
    {
        const timespec wait{0, nanoseconds};
        const int s = ::sigtimedwait(&m_set, nullptr, &wait);
        return s > 0 ? s : 0;
    }

private:
    sigset_t m_set{};
    sigset_t m_previous{};
};

}  // namespace

int RunHoldingSignals(const std::function<void(std::stop_token)>& work)
{
    const SignalsBlocked blocked;
    std::atomic<bool> done{false};
    int caught = 0;
    {
        std::jthread worker([&](std::stop_token stop) {
            work(stop);
            done = true;
        });
        while (!done && caught == 0)
            caught = blocked.Take(kSignalCheckNs);
        if (caught != 0)
            worker.request_stop();
    }
    // One that came while work was ending still counts: it asked the program to end.
    return caught != 0 ? caught : blocked.Take(0);
}

std::string SignalName(int signalNumber)
{
    const char* name = ::strsignal(signalNumber);
    return name != nullptr ? name : "signal " + std::to_string(signalNumber);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    // POSIX terminals hand over UTF-8 already.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string PermissionHint(const std::string& devicePath)
{
    struct stat st {};
    if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0)
        return {};
    return PermissionAdvice(GroupName(st.st_gid), UserName(st.st_uid), ProcessGroups());
}

bool IsOwnTerminal(const std::string& devicePath)
{
    struct stat device {};
    if (devicePath.empty() || ::stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode))
        return false;
    // /dev/tty is whichever terminal controls the process that opens it.
    const dev_t controlling = ControllingTerminal();
    if (device.st_rdev == makedev(5, 0) || (controlling != 0 && device.st_rdev == controlling))
        return true;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st {};
        if (::isatty(fd) && ::fstat(fd, &st) == 0 && st.st_rdev == device.st_rdev)
            return true;
    }
    return false;
}

}  // namespace cli
