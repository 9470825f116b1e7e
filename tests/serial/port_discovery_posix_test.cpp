// Discovery on a fake sysfs tree and virtual port folder in a temporary folder. The
// machine's own serial devices are never opened: the ttyS probe is injected, or the device
// folder is an empty fake.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/native_handle.h"
#include "serial/port_discovery.h"
#include "serial/port_name.h"
#include "serial/port_watch.h"
#include "tests/support/fake_machine.h"
#include "tests/support/display_lock.h"
#include "tests/support/pty_pair.h"

namespace serial {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class PortDiscovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_root.empty());
        fs::create_directories(m_root + "/sys/devices/serial");
    }

    // A terminal class entry, with a device link when hardware stands behind it.
    void AddTty(const std::string& name, bool withDevice, const std::string& type = {})
    {
        const std::string entry = m_roots.sysClassTty + "/" + name;
        fs::create_directories(entry);
        if (withDevice)
            fs::create_directory_symlink(m_root + "/sys/devices/serial", entry + "/device");
        if (!type.empty())
            std::ofstream(entry + "/type") << type << '\n';
    }

    enum class Display { Runs, Gone, NeverLocked };

    // A link as a display publishes it: while the display runs it holds an open-file
    // lock on .<name>.lock; a killed display leaves the file unlocked.
    void AddVirtual(const std::string& name, const std::string& target, Display display = Display::Runs)
    {
        fs::create_symlink(target, m_roots.virtualDir + "/" + name);
        if (display == Display::NeverLocked)
            return;
        OwnedHandle lock =
            testing_support::HoldDisplayLock(m_roots.virtualDir + "/." + name + ".lock", display == Display::Runs);
        ASSERT_EQ(lock.valid(), display == Display::Runs);
        m_locks.push_back(std::move(lock));
    }

    // A fresh pseudo-terminal; its slave is what a display links.
    std::string NewTerminal()
    {
        return m_terminals.emplace_back(std::make_unique<testing_support::PtyPair<>>())->path();
    }

    testing_support::FakeMachine m_machine;
    const std::string m_root = m_machine.root();
    DiscoveryRoots& m_roots = m_machine.roots;
    std::vector<OwnedHandle> m_locks;
    std::vector<std::unique_ptr<testing_support::PtyPair<>>> m_terminals;
};

TEST_F(PortDiscovery, ListsSerialDevicesInNaturalOrder)
{
    for (const char* name : {"ttyS10", "ttyS2", "ttyS0", "ttyS1", "ttyS3", "ttyCH341USB0", "ttyUSB0", "ttyACM0",
                             "ttyUSB10", "ttyUSB2", "rfcomm0"})
        AddTty(name, true);
    for (const char* name : {"tty0", "tty1", "console", "ptmx"})  // virtual consoles and the like
        AddTty(name, false);
    std::set<std::string> probed;
    m_roots.uartProbe = [&](const std::string& sysEntry, const std::string& devicePath) {
        const std::string name = fs::path(sysEntry).filename();
        EXPECT_EQ(devicePath, m_roots.devDir + "/" + name);
        probed.insert(name);
        return name == "ttyS0" || name == "ttyS2" || name == "ttyS10";
    };

    // rfcomm0 by its path: its bare name would be read as a virtual port's.
    const Names expected = {m_roots.devDir + "/rfcomm0",
                            "ttyACM0",
                            "ttyCH341USB0",
                            "ttyS0",
                            "ttyS2",
                            "ttyS10",
                            "ttyUSB0",
                            "ttyUSB2",
                            "ttyUSB10"};
    EXPECT_EQ(DiscoverPorts(m_roots), expected);
    EXPECT_EQ(probed, (std::set<std::string>{"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10"}));
}

TEST_F(PortDiscovery, DriverTypeDecidesForTtyS)
{
    AddTty("ttyS4", true, "4");  // 16550A
    AddTty("ttyS5", true, "0");  // PORT_UNKNOWN
    AddTty("ttyS6", true);       // no type file, and no device in the fake /dev to ask
    AddTty("ttyS7", true, "garbage");
    EXPECT_EQ(DiscoverPorts(m_roots), Names{"ttyS4"});
}

// Only live links to terminal lines are listed, before the devices and by name.
TEST_F(PortDiscovery, OnlyLiveLinksToTerminalLinesAreListedFirstByName)
{
    // The terminal of a killed display's number, handed to another program since.
    const std::string reused = NewTerminal();
    const struct {
        const char* name;
        std::string target;
        Display display = Display::Runs;
    } rows[] = {
        {"sim10", NewTerminal()},
        {"sim2", NewTerminal()},
        {"display", NewTerminal()},
        {"killed", reused, Display::Gone},
        {"unlocked", reused, Display::NeverLocked},
        {"dangling", m_root + "/nowhere"},
        {"file-link", m_root + "/plain"},
        {"folder-link", m_root + "/sys"},
        {"ttyV0", NewTerminal()},  // Open would look for it in the device folder
        {".sim3", NewTerminal()},  // still being set up
        {"null", "/dev/null"},
        {"zero", "/dev/zero"},
        {"tty", "/dev/tty"},
        {"ptmx", "/dev/ptmx"},
        {"console", "/dev/console"},
        {"fake-serial", m_roots.devDir + "/ttyUSB0"},  // a file, not a device
    };
    for (const auto& r : rows)
        AddVirtual(r.name, r.target, r.display);
    std::ofstream(m_root + "/plain") << "not a device";
    std::ofstream(m_roots.virtualDir + "/plain") << "not a device";
    fs::create_directory(m_roots.virtualDir + "/folder");
    AddTty("ttyUSB0", true);
    std::ofstream(m_roots.devDir + "/ttyUSB0") << "not a device";
    EXPECT_EQ(DiscoverPorts(m_roots), (Names{"display", "sim2", "sim10", "ttyUSB0"}));
}

TEST_F(PortDiscovery, ActiveKernelConsoleIsNotListed)
{
    for (const char* name : {"ttyS0", "ttyS1", "ttyUSB0"})
        AddTty(name, true, "4");
    AddTty("console", false);
    const std::string active = m_roots.sysClassTty + "/console/active";
    const struct {
        const char* consoles;  // nullptr: no list at all
        Names listed;
    } rows[] = {
        {nullptr, {"ttyS0", "ttyS1", "ttyUSB0"}},  {"tty0 ttyS0\n", {"ttyS1", "ttyUSB0"}},
        {"ttyS1\n", {"ttyS0", "ttyUSB0"}},         {"ttyUSB0 ttyS0\n", {"ttyS1"}},
        {"tty0\n", {"ttyS0", "ttyS1", "ttyUSB0"}}, {"", {"ttyS0", "ttyS1", "ttyUSB0"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.consoles ? r.consoles : "(no list)");
        fs::remove(active);
        if (r.consoles)
            std::ofstream(active) << r.consoles;
        EXPECT_EQ(DiscoverPorts(m_roots), r.listed);
    }

    // The list may be read from elsewhere.
    m_roots.consoleList = m_root + "/consoles";
    std::ofstream(m_roots.consoleList) << "ttyUSB0\n";
    EXPECT_EQ(DiscoverPorts(m_roots), (Names{"ttyS0", "ttyS1"}));
}

TEST_F(PortDiscovery, VirtualFolderOthersCanChangeIsIgnored)
{
    AddTty("ttyUSB0", true);
    AddVirtual("sim0", NewTerminal());
    const std::string ports = m_roots.virtualDir;
    const std::string parent = m_root + "/display-test";
    const struct {
        std::string folder;
        mode_t mode;
        bool listed;
    } cases[] = {
        {ports, 0700, true},  {ports, 0755, true},   {ports, 0777, false},  {ports, 0770, false},
        {ports, 0703, false}, {parent, 0777, false}, {parent, 0730, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder + " " + std::to_string(c.mode));
        ASSERT_EQ(::chmod(c.folder.c_str(), c.mode), 0);
        EXPECT_EQ(DiscoverPorts(m_roots), (c.listed ? Names{"sim0", "ttyUSB0"} : Names{"ttyUSB0"}));
        ASSERT_EQ(::chmod(c.folder.c_str(), 0700), 0);
    }

    // A folder that is a link could point anywhere.
    fs::rename(ports, parent + "/real");
    fs::create_directory_symlink(parent + "/real", ports);
    EXPECT_EQ(DiscoverPorts(m_roots), Names{"ttyUSB0"});
}

TEST_F(PortDiscovery, VirtualFolderOfAnotherUserIsIgnored)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder away";
    AddVirtual("sim0", NewTerminal());
    for (const std::string& folder : {m_roots.virtualDir, m_root + "/display-test"}) {
        ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
        EXPECT_EQ(DiscoverPorts(m_roots), Names{}) << folder;
        ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
    }
}

// Whether the watch reports a change within a few seconds.
bool Reports(PortWatch& watch, int waitMs = 3000)
{
    pollfd p{watch.EventHandle(), POLLIN, 0};
    return ::poll(&p, 1, waitMs) == 1 && watch.TakeEvents();
}

TEST_F(PortDiscovery, TheWatchSeesVirtualPortsComeAndGo)
{
    // The folder does not exist before the first virtual display makes it.
    fs::remove_all(m_root + "/display-test");
    PortWatch watch({m_roots.virtualDir});
    ASSERT_GE(watch.EventHandle(), 0);
    EXPECT_FALSE(watch.TakeEvents());
    // Another program's files beside the folder awaited are none of its news.
    {
        std::ofstream{m_root + "/busy"};
    }
    fs::remove(m_root + "/busy");
    EXPECT_FALSE(Reports(watch, 100));

    fs::create_directories(m_roots.virtualDir);
    EXPECT_TRUE(Reports(watch));
    while (Reports(watch, 200)) {  // the folders' own creation, until quiet
    }
    AddVirtual("sim0", "/dev/null");
    EXPECT_TRUE(Reports(watch));
    fs::remove(m_roots.virtualDir + "/sim0");
    EXPECT_TRUE(Reports(watch));
    EXPECT_FALSE(watch.TakeEvents());
}

TEST(VirtualPortFolder, FollowsTheRuntimeFolder)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    const std::string fallback = "/tmp/display-test-" + std::to_string(::getuid()) + "/ports";
    const struct {
        const char* value;  // nullptr: unset
        std::string folder;
    } cases[] = {
        {"/run/user/1000", "/run/user/1000/display-test/ports"},
        {nullptr, fallback},
        {"", fallback},
        {"relative/dir", fallback},
    };
    for (const auto& c : cases) {
        c.value ? ::setenv("XDG_RUNTIME_DIR", c.value, 1) : ::unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(DefaultVirtualPortDir(), c.folder) << (c.value ? c.value : "(unset)");
    }
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(PortDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath("sim0"), "/run/user/1000/display-test/ports/sim0");
    saved ? ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace serial
