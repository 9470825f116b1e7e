// The line the virtual display listens on and its link, on pseudo-terminals and in a
// folder of the test's own; never a device of the machine.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "serial/display_line.h"
#include "serial/native_handle.h"
#include "serial/virtual_port.h"
#include "sim/line_settings.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using serial::DisplayLine;
using serial::ReadResult;
using serial::VirtualPortPublication;

using testing_support::TempFolder;

// Everything that arrives within a second, or up to the count.
std::string ReadAll(DisplayLine& port, std::size_t want)
{
    std::string got;
    while (got.size() < want) {
        pollfd p{port.WaitHandle(), POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            break;
        std::uint8_t buf[256];
        std::size_t n = 0;
        if (port.Read(buf, sizeof buf, &n) != ReadResult::Data)
            break;
        got.append(reinterpret_cast<char*>(buf), n);
    }
    return got;
}

void WriteAll(int fd, const std::string& bytes)
{
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// The flag that would refuse every later open of a user.
bool Exclusive(int fd)
{
    int flag = -1;
    ::ioctl(fd, TIOCGEXCL, &flag);
    return flag != 0;
}

TEST(PseudoTerminal, EveryByteArrivesUnchangedAndAClientClosingDoesNotHangUp)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(2400, &error)) << error;
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    {
        serial::OwnedHandle client(::open(port.DevicePath().c_str(), O_RDWR | O_NOCTTY));
        ASSERT_TRUE(client.valid());
        WriteAll(client.get(), all);
    }
    EXPECT_EQ(ReadAll(port, all.size()), all);  // CR, LF, 00, 7F and ^C unchanged: raw
    std::uint8_t buf[8];
    std::size_t n = 0;
    EXPECT_EQ(port.Read(buf, sizeof buf, &n), ReadResult::Nothing);

    serial::OwnedHandle again(::open(port.DevicePath().c_str(), O_RDWR | O_NOCTTY));
    WriteAll(again.get(), "\x1bs1");
    EXPECT_EQ(ReadAll(port, 3), "\x1bs1");
}

using Pty = testing_support::PtyPair<>;

TEST(Device, ReadsRawAtTheBaudRateAndGivesUpExclusiveModeWhenClosed)
{
    Pty line;
    ASSERT_TRUE(line.ok());
    serial::OwnedHandle keep(::open(line.path().c_str(), O_RDWR | O_NOCTTY));  // the other program's end stays up
    {
        DisplayLine port;
        std::string error;
        ASSERT_TRUE(port.OpenDevice(line.path(), 9600, &error)) << error;
        EXPECT_EQ(port.DevicePath(), line.path());
        termios tio{};
        ASSERT_EQ(::tcgetattr(keep.get(), &tio), 0);
        EXPECT_EQ(::cfgetispeed(&tio), B9600);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        WriteAll(line.master(), "\x1bQA12.50\r");
        EXPECT_EQ(ReadAll(port, 9), "\x1bQA12.50\r");
    }
    EXPECT_FALSE(Exclusive(keep.get()));
}

TEST(Device, Refusals)
{
    Pty line;
    ASSERT_TRUE(line.ok());
    TempFolder folder;
    const std::string plainFile = folder.path() + "/file";
    {
        serial::OwnedHandle f(::open(plainFile.c_str(), O_CREAT | O_WRONLY, 0600));
    }

    struct Row {
        std::string path;
        std::uint32_t baud;
        const char* reason;
    } rows[] = {
        {line.path(), 2401, "unsupported baud rate 2401"},
        {folder.path() + "/none", 2400, "No such file or directory"},
        {plainFile, 2400, "not a serial port"},
    };
    for (const Row& r : rows) {
        DisplayLine port;
        std::string error;
        EXPECT_FALSE(port.OpenDevice(r.path, r.baud, &error)) << r.path;
        EXPECT_NE(error.find(r.reason), std::string::npos) << error;
        EXPECT_EQ(port.WaitHandle(), serial::kNoHandle);
    }

    // Held by another program (flock, which binds root as well).
    serial::OwnedHandle other(::open(line.path().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    DisplayLine port;
    std::string error;
    EXPECT_FALSE(port.OpenDevice(line.path(), 2400, &error));
    EXPECT_NE(error.find("in use by another program"), std::string::npos) << error;
}

// A client that locked the pseudo-terminal and set exclusive mode, then was killed by
// each signal in turn: the display clears the mode once the client's lock is gone, never
// while the client lives.
TEST(PseudoTerminal, ClearsExclusiveModeAKilledClientLeft)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(2400, &error)) << error;
    serial::OwnedHandle look(::open(port.DevicePath().c_str(), O_RDWR | O_NOCTTY));
    const auto exclusive = [&] { return Exclusive(look.get()); };
    EXPECT_FALSE(port.ReleaseAbandonedExclusive());  // nothing to clear

    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t client = ::fork();
        if (client == 0) {
            const int fd = ::open(port.DevicePath().c_str(), O_RDWR | O_NOCTTY);
            const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0;
            (void)!::write(ready[1], held ? "1" : "0", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char held = '?';
        ASSERT_EQ(::read(ready[0], &held, 1), 1);
        ::close(ready[0]);
        ASSERT_EQ(held, '1');
        EXPECT_TRUE(exclusive());
        EXPECT_FALSE(port.ReleaseAbandonedExclusive());  // the client still holds it
        EXPECT_TRUE(exclusive());

        ::kill(client, signalNumber);
        ::waitpid(client, nullptr, 0);
        EXPECT_TRUE(exclusive());  // what the kernel leaves behind
        EXPECT_TRUE(port.ReleaseAbandonedExclusive());
        EXPECT_FALSE(exclusive());
        // The look took the lock only for a moment.
        EXPECT_EQ(::flock(look.get(), LOCK_EX | LOCK_NB), 0);
        ::flock(look.get(), LOCK_UN);
    }
}

// The settings a client puts on the pseudo-terminal, read back as the display shows them.
TEST(PseudoTerminal, ReadsTheClientsLineSettings)
{
    DisplayLine port;
    std::string error;
    ASSERT_TRUE(port.OpenOwnLine(9600, &error)) << error;
    EXPECT_EQ(port.Baud(), 9600u);
    serial::OwnedHandle client(::open(port.DevicePath().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_EQ(port.ClientSettings(), (serial::LineSettings{9600, 8, 'N', 1}));  // the display's own at first

    const struct {
        speed_t speed;
        tcflag_t stop;
        serial::LineSettings read;
    } rows[] = {
        {B2400, 0, {2400, 8, 'N', 1}},
        {B115200, CSTOPB, {115200, 8, 'N', 2}},
        {B1200, 0, {1200, 8, 'N', 1}},
    };
    for (const auto& r : rows) {
        termios tio{};
        ASSERT_EQ(::tcgetattr(client.get(), &tio), 0);
        tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSTOPB)) | r.stop;
        ::cfsetspeed(&tio, r.speed);
        ASSERT_EQ(::tcsetattr(client.get(), TCSANOW, &tio), 0);
        EXPECT_EQ(port.ClientSettings(), r.read) << sim::DescribeLine(r.read);
    }

    // A device's settings are the display's own: nothing to read.
    Pty line;
    DisplayLine device;
    ASSERT_TRUE(device.OpenDevice(line.path(), 2400, &error)) << error;
    EXPECT_EQ(device.ClientSettings(), std::nullopt);
}

// A folder of the test's own for the links, below a parent as the display's is.
class LinkFolder : public ::testing::Test {
protected:
    TempFolder tmp;
    const std::string parent = tmp.path() + "/display-test";
    const std::string folder = parent + "/ports";
    std::string error;
};

// Anything but a link in a name's place is not the display's to replace: the name is
// skipped. (A link a killed display left is taken over: virtual_port_test.)
TEST_F(LinkFolder, LeavesWhatIsNotALinkAlone)
{
    ASSERT_TRUE(fs::create_directories(folder));
    {
        serial::OwnedHandle f(::open((folder + "/sim0").c_str(), O_CREAT | O_WRONLY, 0600));
    }
    VirtualPortPublication link;
    ASSERT_TRUE(link.Publish(folder, "/dev/pts/72", &error)) << error;
    EXPECT_EQ(link.Name(), "sim1");
    EXPECT_TRUE(fs::is_regular_file(folder + "/sim0"));
}

// Something stray where a name's lock file belongs holds the name, left alone; the next
// name is taken.
TEST_F(LinkFolder, AStrayLockEntryMovesOnToTheNextName)
{
    ASSERT_TRUE(fs::create_directories(folder));
    {
        serial::OwnedHandle f(::open((tmp.path() + "/file").c_str(), O_CREAT | O_WRONLY, 0600));
    }
    fs::create_symlink("/nonexistent/lock", folder + "/.sim0.lock");  // dangling
    fs::create_symlink(tmp.path() + "/file", folder + "/.sim1.lock");
    fs::create_directory(folder + "/.sim2.lock");
    ASSERT_EQ(::mkfifo((folder + "/.sim3.lock").c_str(), 0600), 0);
    VirtualPortPublication link;
    ASSERT_TRUE(link.Publish(folder, "/dev/pts/71", &error)) << error;
    EXPECT_EQ(link.Name(), "sim4");
    for (const std::string name : {"sim0", "sim1", "sim2", "sim3"}) {
        EXPECT_TRUE(fs::exists(fs::symlink_status(folder + "/." + name + ".lock"))) << name;
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/" + name))) << name;
    }
}

TEST_F(LinkFolder, KeepsALinkThatLeadsElsewhereNow)
{
    VirtualPortPublication link;
    ASSERT_TRUE(link.Publish(folder, "/dev/pts/71", &error)) << error;
    fs::remove(folder + "/sim0");
    fs::create_symlink("/dev/pts/72", folder + "/sim0");
    link.Remove();
    EXPECT_EQ(fs::read_symlink(folder + "/sim0"), "/dev/pts/72");
}

// The panel and the sender would not trust such a folder, so nothing is published there.
TEST_F(LinkFolder, RefusesAFolderOthersMayChange)
{
    ASSERT_TRUE(fs::create_directories(folder));
    const struct {
        std::string changed;
        mode_t mode;
        const char* reason;
    } rows[] = {
        {folder, 0777, "other users may write to the folder"},
        {folder, 0770, "other users may write to the folder"},
        {parent, 0777, "other users may write to the folder"},
        {parent, 0703, "other users may write to the folder"},
        {tmp.path(), 0777, ""},  // above the parent: not ours to judge
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.changed + " at " + std::to_string(r.mode));
        ASSERT_EQ(::chmod(r.changed.c_str(), r.mode), 0);
        VirtualPortPublication link;
        EXPECT_EQ(link.Publish(folder, "/dev/pts/71", &error), *r.reason == '\0') << error;
        EXPECT_NE(error.find(r.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(fs::exists(fs::symlink_status(folder + "/sim0")), *r.reason == '\0');
        ASSERT_EQ(::chmod(r.changed.c_str(), 0700), 0);
    }
}

TEST_F(LinkFolder, RefusesAFolderOfAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder away";
    ASSERT_TRUE(fs::create_directories(folder));
    ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
    VirtualPortPublication link;
    EXPECT_FALSE(link.Publish(folder, "/dev/pts/71", &error));
    EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
}

}  // namespace
