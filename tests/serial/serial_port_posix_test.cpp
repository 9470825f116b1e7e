// The port against pseudo-terminal pairs: the test holds the master side as the display
// would, and its own descriptor of the slave side to look at the line's settings.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "serial/native_handle.h"
#include "serial/serial_port.h"
#include "serial/terminal_posix.h"
#include "tests/support/display_lock.h"
#include "tests/support/fake_machine.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_folder.h"

namespace serial {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Pty = testing_support::PtyPair<>;

int InputQueued(int fd, int atLeast = 0)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int queued = -1;
    while (::ioctl(fd, FIONREAD, &queued) == 0 && queued < atLeast && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        ::poll(&pfd, 1, 10);
    }
    return queued;
}

bool ExclusiveMode(int fd)
{
    int exclusive = -1;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    return exclusive != 0;
}

std::uint32_t WriteAll(CSerialPort& port, const Bytes& bytes)
{
    return port.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// A line as another program left it: 19200 baud, cooked, echoing.
termios SetUsedBefore(const Pty& pty)
{
    termios tio{};
    EXPECT_TRUE(pty.LineSettings(&tio));
    ::cfsetspeed(&tio, B19200);
    tio.c_lflag |= ICANON | ECHO;
    EXPECT_EQ(::tcsetattr(pty.slave(), TCSANOW, &tio), 0);
    EXPECT_TRUE(pty.LineSettings(&tio));
    return tio;
}

bool SameSettings(const Pty& pty, const termios& expected)
{
    termios now{};
    return pty.LineSettings(&now) && std::memcmp(&now, &expected, sizeof now) == 0;
}

// The kernel's console, in a fake sysfs tree, is the device of this pseudo-terminal.
OpenOptions ConsoleIs(const testing_support::FakeMachine& machine, const Pty& console)
{
    struct stat st {};
    EXPECT_EQ(::stat(console.path().c_str(), &st), 0);
    const std::string entry = machine.roots.sysClassTty + "/ttyS0";
    std::filesystem::create_directories(entry);
    std::filesystem::create_directories(machine.roots.sysClassTty + "/console");
    std::ofstream(entry + "/dev") << ::major(st.st_rdev) << ":" << ::minor(st.st_rdev) << "\n";
    std::ofstream(machine.roots.sysClassTty + "/console/active") << "tty0 ttyS0\n";
    OpenOptions options;
    options.sysClassTty = machine.roots.sysClassTty;
    return options;
}

// Each step's errno as the reason a user reads, without needing a user the OS refuses:
// as root, the permission test cannot run.
TEST(SerialPort, ErrnoOfEachStepAsAReason)
{
    const struct {
        int err;
        OpenStep step;
        OpenError kind;
    } cases[] = {
        {EACCES, OpenStep::Open, OpenError::PermissionDenied},
        {EPERM, OpenStep::Lock, OpenError::PermissionDenied},
        {EROFS, OpenStep::Open, OpenError::PermissionDenied},
        {EACCES, OpenStep::Configure, OpenError::PermissionDenied},
        {ENOENT, OpenStep::Open, OpenError::NoSuchPort},
        {ENXIO, OpenStep::Open, OpenError::NoSuchPort},
        {ENODEV, OpenStep::Configure, OpenError::NoSuchPort},
        {EBUSY, OpenStep::Open, OpenError::InUse},
        {EWOULDBLOCK, OpenStep::Lock, OpenError::InUse},
        {EWOULDBLOCK, OpenStep::Open, OpenError::Other},
        {ENOTTY, OpenStep::Lock, OpenError::BadName},
        {EISDIR, OpenStep::Open, OpenError::BadName},
        {EINVAL, OpenStep::Baud, OpenError::UnsupportedBaud},
        {EINVAL, OpenStep::Configure, OpenError::Other},
        {EIO, OpenStep::Purge, OpenError::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KindOfErrno(c.err, c.step), c.kind) << std::strerror(c.err) << " at step " << int(c.step);
}

TEST(SerialPort, OpenSetsRaw8N1AtTheBaudRate)
{
    const struct {
        std::uint32_t rate;
        speed_t constant;
    } cases[] = {{2400, B2400}, {9600, B9600}, {115200, B115200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        Pty pty;  // a fresh terminal: cooked, echoing, at 38400
        CSerialPort port;
        ASSERT_TRUE(port.Open(pty.path(), c.rate)) << port.LastOpenFailure().osMessage;
        EXPECT_EQ(port.LastOpenFailure().kind, OpenError::None);
        EXPECT_TRUE(ExclusiveMode(pty.slave()));

        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.slave(), &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), c.constant);
        EXPECT_EQ(::cfgetispeed(&tio), c.constant);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
                  static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), 0u);
    }
}

TEST(SerialPort, MessagesArriveWholeUnchangedAndInOrder)
{
    Bytes everyValue(256);
    std::iota(everyValue.begin(), everyValue.end(), 0);  // 0A and 0D among them
    Bytes large(256 * 1024);                             // more than a terminal buffers: the port must wait for room
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    // Back to back, so a purge at the start of a message must not cut the one before.
    const std::vector<Bytes> burst = {{0x0C, 0x1B, 0x73, 0x31}, {0x1B, 0x51, 0x41, 0x31, 0x0D}, {0x0C}};
    const std::vector<std::vector<Bytes>> cases = {{everyValue}, {large}, burst};

    for (const auto& messages : cases) {
        Pty pty;
        CSerialPort port;
        ASSERT_TRUE(port.Open(pty.path(), 9600));
        Bytes expected;
        for (const Bytes& m : messages)
            expected.insert(expected.end(), m.begin(), m.end());
        Bytes received;
        std::thread reader([&] { received = pty.ReadAtLeast(expected.size()); });
        for (const Bytes& m : messages)
            EXPECT_EQ(WriteAll(port, m), CSerialPort::kErrorSuccess);
        reader.join();
        EXPECT_TRUE(received == expected) << received.size() << " of " << expected.size() << " bytes";
    }
}

TEST(SerialPort, OpenAndWriteDiscardStaleInput)
{
    Pty pty;
    CSerialPort port;
    for (const bool opened : {false, true}) {
        const char junk[] = "left over\n";  // a whole line: a fresh terminal counts nothing less
        ASSERT_EQ(::write(pty.master(), junk, 10), 10);
        ASSERT_EQ(InputQueued(pty.slave(), 10), 10);
        ASSERT_TRUE(opened ? WriteAll(port, {0x0C}) == 0u : port.Open(pty.path(), 2400));
        EXPECT_EQ(InputQueued(pty.slave()), 0) << (opened ? "after a write" : "after the open");
    }
}

TEST(SerialPort, AnotherOpenLeavesTheHeldPortAlone)
{
    Pty first;
    Pty other;
    CSerialPort port;
    ASSERT_TRUE(port.Open(first.path(), 2400));
    for (const std::string& path : {first.path(), other.path()}) {
        EXPECT_FALSE(port.Open(path, 9600));
        EXPECT_EQ(port.LastOpenFailure().kind, OpenError::AlreadyOpen);
    }
    // Another object: as root TIOCEXCL lets its open through, but the lock still stops it.
    CSerialPort second;
    EXPECT_FALSE(second.Open(first.path(), 9600));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastOpenFailure().kind, OpenError::InUse);
    EXPECT_FALSE(second.LastOpenFailure().osMessage.empty());
    // Neither the rate nor exclusive mode was taken from the holder.
    EXPECT_TRUE(ExclusiveMode(first.slave()));
    termios tio{};
    ASSERT_TRUE(first.LineSettings(&tio));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B2400));
    ASSERT_EQ(WriteAll(port, {0x1B, 0x40}), 0u);
    EXPECT_EQ(first.ReadAtLeast(2), (Bytes{0x1B, 0x40}));
}

TEST(SerialPort, CloseOrDestructionReleasesThePortAtOnce)
{
    const std::function<void(std::unique_ptr<CSerialPort>&)> releases[] = {
        [](auto& port) {
            EXPECT_TRUE(port->Close());
            EXPECT_FALSE(port->IsOpen());
            EXPECT_FALSE(port->Close());
        },
        [](auto& port) { port.reset(); },
    };
    for (const auto& release : releases) {
        Pty pty;
        const termios before = SetUsedBefore(pty);
        auto port = std::make_unique<CSerialPort>();
        ASSERT_TRUE(port->Open(pty.path(), 2400));
        ASSERT_FALSE(SameSettings(pty, before));
        release(port);
        // A pseudo-terminal keeps exclusive mode while its master lives, and would then
        // refuse everybody but root.
        EXPECT_FALSE(ExclusiveMode(pty.slave()));
        // The next program on the line finds it as it was.
        EXPECT_TRUE(SameSettings(pty, before));
        CSerialPort next;
        EXPECT_TRUE(next.Open(pty.path(), 9600)) << next.LastOpenFailure().osMessage;
    }
}

// With no port at all: serial_port_test.cpp.
TEST(SerialPort, WriteRefusesEmptyMessages)
{
    Pty pty;
    CSerialPort open;
    ASSERT_TRUE(open.Open(pty.path(), 2400));
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(open.Write(bytes, 0), 87u);
    EXPECT_EQ(open.Write(nullptr, 3), 87u);
    EXPECT_EQ(InputQueued(pty.master()), 0);
}

TEST(SerialPort, FailedOpenHoldsNothing)
{
    const testing_support::TempFolder folder;
    const std::filesystem::path dir = folder.path();
    const std::string file = (dir / "not-a-port").string();
    OwnedHandle(::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    Pty pty;

    const struct {
        std::string name;
        std::uint32_t baud;
        OpenError kind;
        int osError;
    } cases[] = {
        {"/nonexistent/ttyX", 2400, OpenError::NoSuchPort, ENOENT},
        {"ttyNOSUCHPORT7", 2400, OpenError::NoSuchPort, ENOENT},
        {"", 2400, OpenError::BadName, 0},
        {"../ttyS0", 2400, OpenError::BadName, 0},
        {file, 2400, OpenError::BadName, ENOTTY},
        {dir.string(), 2400, OpenError::BadName, EISDIR},
        {pty.path(), 12345, OpenError::UnsupportedBaud, 0},
        {pty.path(), 0, OpenError::UnsupportedBaud, 0},
        // Devices that are no terminal line, though some answer terminal calls.
        {"/dev/ptmx", 2400, OpenError::BadName, 0},
        {"/dev/null", 2400, OpenError::BadName, 0},
        {"/dev/zero", 2400, OpenError::BadName, 0},
    };
    const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = descriptors();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " at " + std::to_string(c.baud));
        CSerialPort port;
        EXPECT_FALSE(port.Open(c.name, c.baud));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.LastOpenFailure().kind, c.kind);
        EXPECT_EQ(port.LastOpenFailure().osError, c.osError);
        EXPECT_EQ(port.LastOpenFailure().osMessage.empty(), c.osError == 0);
        EXPECT_EQ(descriptors(), before);
    }
    EXPECT_FALSE(ExclusiveMode(pty.slave()));
}

// A virtual port by name or by its path in the folder, in a runtime folder of the test's
// own; its "display" is the test holding the name's lock.
TEST(SerialPort, VirtualPortOpensOnlyWhileItsDisplayRunsInATrustedFolder)
{
    const testing_support::FakeMachine runtime;  // its root stands for the runtime folder
    const std::string parent = runtime.root() + "/display-test";
    const std::string& folder = runtime.roots.virtualDir;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.root().c_str(), 1);

    Pty live;
    Pty reused;  // a killed display's terminal number, now another program's
    const auto link = [&](const std::string& name, const Pty& pty, bool locked) {
        std::filesystem::create_symlink(pty.path(), folder + "/" + name);
        OwnedHandle lock = testing_support::HoldDisplayLock(folder + "/." + name + ".lock", locked);
        EXPECT_EQ(lock.valid(), locked);
        return lock;
    };
    const OwnedHandle liveLock = link("sim0", live, true);
    link("sim1", reused, false);
    std::filesystem::create_symlink(reused.path(), folder + "/sim2");  // no lock file at all
    // Live names whose links lead to no display's line: the kernel's console, a FIFO, a
    // regular file, a folder. None may even be opened.
    Pty console;
    const OpenOptions options = ConsoleIs(runtime, console);
    const OwnedHandle consoleLock = link("sim3", console, true);
    const std::string fifo = runtime.root() + "/fifo", file = runtime.root() + "/file", dir = runtime.root() + "/dir";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    OwnedHandle(::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    std::filesystem::create_directory(dir);
    std::vector<OwnedHandle> locks;
    for (const auto& [name, target] : {std::pair{"sim4", fifo}, {"sim5", file}, {"sim6", dir}}) {
        std::filesystem::create_symlink(target, folder + "/" + name);
        locks.push_back(testing_support::HoldDisplayLock(folder + "/." + name + ".lock"));
    }
    const OwnedHandle watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    for (const std::string& target : {fifo, file, dir, console.path()})
        ASSERT_GE(::inotify_add_watch(watch.get(), target.c_str(), IN_OPEN), 0);

    const struct {
        std::string name;
        mode_t parentMode;
        bool opens;
        OpenError kind;
    } cases[] = {
        {"sim3", 0700, false, OpenError::KernelConsole},
        {folder + "/sim3", 0700, false, OpenError::KernelConsole},
        {console.path(), 0700, false, OpenError::KernelConsole},
        {"sim4", 0700, false, OpenError::BadName},
        {"sim5", 0700, false, OpenError::BadName},
        {folder + "/sim6", 0700, false, OpenError::BadName},
        {"sim0", 0700, true, OpenError::None},
        {folder + "/sim0", 0700, true, OpenError::None},
        {folder + "//./sim0", 0700, true, OpenError::None},
        {"sim1", 0700, false, OpenError::NoSuchPort},
        {folder + "/sim1", 0700, false, OpenError::NoSuchPort},
        {folder + "/../ports/sim1", 0700, false, OpenError::NoSuchPort},
        {"sim2", 0700, false, OpenError::NoSuchPort},
        {"sim0", 0777, false, OpenError::BadName},  // others could have put any link there
        {"sim0", 0720, false, OpenError::BadName},
        {folder + "/sim0", 0777, false, OpenError::BadName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " with the parent folder at " + std::to_string(c.parentMode));
        ASSERT_EQ(::chmod(parent.c_str(), c.parentMode), 0);
        CSerialPort port;
        EXPECT_EQ(port.Open(c.name, 2400, options), c.opens);
        EXPECT_EQ(port.LastOpenFailure().kind, c.kind);
        EXPECT_EQ(port.LastOpenFailure().osMessage.empty(), c.opens) << port.LastOpenFailure().osMessage;
        ASSERT_EQ(::chmod(parent.c_str(), 0700), 0);
        char events[4096];
        EXPECT_LE(::read(watch.get(), events, sizeof events), 0) << "a refused name was opened";
    }
    // The console opens when the caller insists, and is left as it was found.
    const termios before = SetUsedBefore(console);
    OpenOptions insist = options;
    insist.allowConsole = true;
    for (const std::string& name : {std::string("sim3"), console.path()}) {
        CSerialPort port;
        EXPECT_TRUE(port.Open(name, 2400, insist)) << port.LastOpenFailure().osMessage;
        port.Close();
        EXPECT_TRUE(SameSettings(console, before));
    }
    // The check between open and configure, as if the display had ended, or the link had
    // changed, between the look and the open.
    const struct {
        const char* what;
        std::string link;    // the display's link it was opened through; empty: a device's own path
        std::string device;  // what was opened
        bool accepted;
        OpenError kind;
    } opened[] = {
        {"the live display's line", folder + "/sim0", live.path(), true, OpenError::None},
        {"a line the live link does not lead to", folder + "/sim0", reused.path(), false, OpenError::NoSuchPort},
        {"the line of a display gone", folder + "/sim1", reused.path(), false, OpenError::NoSuchPort},
        {"the kernel's console through a live link", folder + "/sim3", console.path(), false, OpenError::KernelConsole},
        {"a line named by its own path", "", reused.path(), true, OpenError::None},
        {"no terminal line", "", "/dev/null", false, OpenError::BadName},
        {"the kernel's console", "", console.path(), false, OpenError::KernelConsole},
    };
    for (const auto& o : opened) {
        SCOPED_TRACE(o.what);
        const OwnedHandle fd(::open(o.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(fd.valid());
        OpenFailure failure;
        const bool accepted = o.link.empty() ? AcceptOpenedDevice(fd.get(), options, &failure)
                                             : AcceptOpenedDisplayLine(o.link, folder, fd.get(), options, &failure);
        EXPECT_EQ(accepted, o.accepted);
        EXPECT_EQ(failure.kind, o.kind);
    }

    // The other program's terminal was neither configured nor locked.
    termios tio{};
    ASSERT_EQ(::tcgetattr(reused.slave(), &tio), 0);
    EXPECT_NE(tio.c_lflag & ICANON, 0u);
    EXPECT_FALSE(ExclusiveMode(reused.slave()));

    saved ? ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(SerialPort, PortWithoutPermissionIsDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may open any device";
    Pty pty;
    ASSERT_EQ(::fchmod(pty.slave(), 0), 0);
    CSerialPort port;
    EXPECT_FALSE(port.Open(pty.path(), 2400));
    EXPECT_EQ(port.LastOpenFailure().kind, OpenError::PermissionDenied);
}

// Fills the line until the terminal takes no more, as when the peer stopped reading.
void FillUntilFull(int fd)
{
    ASSERT_EQ(::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK), 0);
    const std::vector<char> block(4096, 'x');
    pollfd pfd{fd, POLLOUT, 0};
    do {  // the terminal moves bytes to its other side in the background: wait and refill
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ASSERT_EQ(errno, EAGAIN);
    } while (::poll(&pfd, 1, 200) > 0);
}

// No byte can leave: the write must say so instead of reporting success. The panel closes a
// port whose peer went away as disconnected; a stalled line is no such case.
TEST(SerialPort, WriteOnALineThatTakesNothingFails)
{
    const struct {
        const char* what;
        std::function<void(Pty&)> block;
        std::uint32_t error;
        bool gone;
        bool resumes;  // once the line moves again, the port goes on
        std::size_t length = 2;
    } rows[] = {
        {"peer went away", [](Pty& pty) { pty.CloseMaster(); }, EIO, true, false},
        {"output suspended by flow control", [](Pty& pty) { ASSERT_TRUE(pty.Stall()); }, ETIMEDOUT, false, true},
        {"peer not reading", [](Pty& pty) { FillUntilFull(pty.slave()); }, ETIMEDOUT, false, false},
        // 8 s on the wire at 2400 baud: a stall ends it long before, not after 100 ms a byte.
        {"long message on a stalled line", [](Pty& pty) { ASSERT_TRUE(pty.Stall()); }, ETIMEDOUT, false, true, 2000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Pty pty;
        CSerialPort port;
        ASSERT_TRUE(port.Open(pty.path(), 2400));
        r.block(pty);
        const auto start = std::chrono::steady_clock::now();
        const std::uint32_t result = WriteAll(port, Bytes(r.length, 0x38));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
        EXPECT_EQ(result, r.error);
        EXPECT_EQ(CSerialPort::IsDeviceGone(result), r.gone);
        if (r.resumes) {
            ASSERT_TRUE(pty.Resume());
            ASSERT_EQ(WriteAll(port, {0x0C}), 0u);
            EXPECT_EQ(pty.ReadAtLeast(1), Bytes{0x0C});
        }
    }
    EXPECT_EQ(CSerialPort::TimeoutError(), static_cast<std::uint32_t>(ETIMEDOUT));
    EXPECT_FALSE(CSerialPort::IsDeviceGone(CSerialPort::CancelledError()));
}

TEST(SerialPort, AStopFromAnotherThreadEndsAStalledWriteAtOnce)
{
    Pty pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.path(), 2400));
    ASSERT_TRUE(pty.Stall());
    // 200 bytes would take 21 s to time out; the stop must end it long before.
    const std::vector<std::uint8_t> message(200, 0x38);
    std::stop_source stop;
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    const std::uint32_t result =
        port.Write(message.data(), static_cast<std::uint32_t>(message.size()), stop.get_token());
    const auto took = std::chrono::steady_clock::now() - start;
    closer.join();
    EXPECT_EQ(result, CSerialPort::CancelledError());
    EXPECT_LT(took, std::chrono::seconds(5));
    // Closing does not wait for what the stalled write left queued.
    EXPECT_TRUE(port.Close());
    CSerialPort next;
    EXPECT_TRUE(next.Open(pty.path(), 2400));
    // A write asked to stop before it began touches nothing.
    ASSERT_TRUE(pty.Resume());
    EXPECT_EQ(next.Write(message.data(), 1, stop.get_token()), CSerialPort::CancelledError());
    pollfd arrived{pty.master(), POLLIN, 0};
    EXPECT_EQ(::poll(&arrived, 1, 100), 0);
}

}  // namespace
}  // namespace serial
