// Port discovery on Windows under Wine: wine-port-host links pseudo-terminals as COM5
// and COM12 and /dev/null as COM7; no other COM port exists in the prefix, and the
// registry names none until a test names one (tests/wine/serial_comm.h).

#include "serial/port_discovery.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "serial/port_description.h"
#include "serial/port_watch.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/serial_comm.h"
#include "tests/wine/win32_process.h"

namespace {

using Names = std::vector<std::string>;

constexpr DWORD kNoticeMs = 5000;  // a bound for a hung notice, not a measurement

class PortDiscoveryWin32 : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_PORT_HOST();
        ASSERT_TRUE(wine_host::RemoveSerialPortList());
    }
    void TearDown() override { wine_host::RemoveSerialPortList(); }
};

TEST_F(PortDiscoveryWin32, ListsTheRegistrysPortsAndTheProbedOnesInNumberOrder)
{
    // Nothing in the registry: COM1 to COM16 as they are probed. COM7 is listed too: the
    // probe asks whether a device opens, not what it is.
    EXPECT_EQ(serial::DiscoverPorts(), (Names{"COM5", "COM7", "COM12"}));
    EXPECT_EQ(serial::ListedPorts(), Names{});

    // Named by drivers: above 16, and a port that is probed as well, listed once.
    ASSERT_TRUE(wine_host::NameSerialPort(R"(\Device\VCP0)", "COM23"));
    ASSERT_TRUE(wine_host::NameSerialPort(R"(\Device\Serial1)", "COM2"));
    ASSERT_TRUE(wine_host::NameSerialPort(R"(\Device\Serial4)", "COM5"));
    ASSERT_TRUE(wine_host::NameSerialPort(R"(\Device\CNCA0)", "CNCA0"));  // no COM port
    EXPECT_EQ(serial::ListedPorts(), (Names{"COM2", "COM5", "COM23"}));
    EXPECT_EQ(serial::DiscoverPorts(), (Names{"COM2", "COM5", "COM7", "COM12", "COM23"}));
    // The roots describe a POSIX machine; on Windows they change nothing.
    serial::DiscoveryRoots roots;
    roots.sysClassTty = "C:\\nowhere";
    EXPECT_EQ(serial::DiscoverPorts(roots), (Names{"COM2", "COM5", "COM7", "COM12", "COM23"}));

    // Wine's SetupAPI knows no device: the driver's device name describes the port.
    const struct {
        const char* port;
        const char* words;
    } described[] = {
        {"COM23", "USB serial"},  {"COM2", "built-in serial port"}, {"com5", "built-in serial port"},
        {"COM12", "serial port"}, {"COM99", "serial port"},         {"ttyS0", "serial port"},
    };
    for (const auto& d : described)
        EXPECT_EQ(serial::DescribePort(d.port), d.words) << d.port;
}

TEST_F(PortDiscoveryWin32, ProbingSendsNothing)
{
    serial::DiscoverPorts();
    EXPECT_EQ(wine_host::ReadUntilQuiet("COM5", 300), "");
    EXPECT_EQ(wine_host::ReadUntilQuiet("COM12", 300), "");
}

// The watch's event is set by each change of the list, also by the key's creation, and
// stays clear while nothing changes.
TEST_F(PortDiscoveryWin32, TheWatchIsToldOfEveryChangeOfTheList)
{
    serial::PortWatch watch(serial::PortWatch::MachineFolders());
    const HANDLE event = watch.EventHandle();
    ASSERT_NE(event, nullptr);
    const auto told = [&] {
        const bool set = ::WaitForSingleObject(event, kNoticeMs) == WAIT_OBJECT_0;
        return set && watch.TakeEvents();
    };
    const auto quiet = [&] { return ::WaitForSingleObject(event, 200) == WAIT_TIMEOUT && !watch.TakeEvents(); };
    EXPECT_TRUE(quiet());
    const struct {
        const char* change;
        bool (*make)();
    } changes[] = {
        {"the key created with a port", [] { return wine_host::NameSerialPort(R"(\Device\VCP0)", "COM23"); }},
        {"a second port", [] { return wine_host::NameSerialPort(R"(\Device\Serial0)", "COM1"); }},
        {"a port renamed", [] { return wine_host::NameSerialPort(R"(\Device\Serial0)", "COM3"); }},
        {"a port gone", [] { return wine_host::UnnameSerialPort(R"(\Device\VCP0)"); }},
        {"the key gone", [] { return wine_host::RemoveSerialPortList(); }},
        {"the key back", [] { return wine_host::NameSerialPort(R"(\Device\VCP0)", "COM23"); }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.change);
        ASSERT_TRUE(c.make());
        EXPECT_TRUE(told());
        EXPECT_TRUE(quiet());
    }
}

TEST(PortWatchWin32, NoKeysNoEvent)
{
    serial::PortWatch watch({});
    EXPECT_EQ(watch.EventHandle(), nullptr);
    EXPECT_FALSE(watch.TakeEvents());
}

}  // namespace
