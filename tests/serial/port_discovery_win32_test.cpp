// Port discovery on Windows under Wine: wine-port-host links pseudo-terminals as COM5
// and COM12 and /dev/null as COM7; no other COM port exists in the prefix.

#include "serial/port_discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/port_host_client.h"

namespace {

TEST(PortDiscoveryWin32, ListsExactlyThePresentPortsInPortOrder)
{
    if (!wine_host::Available())
        GTEST_SKIP() << "needs wine-port-host: without it the probe could reach real ports";
    // COM7 is listed too: the probe asks whether a device opens, not what it is.
    const std::vector<std::string> expected{"COM5", "COM7", "COM12"};
    EXPECT_EQ(serial::DiscoverPorts(), expected);
    // The roots describe a POSIX machine; on Windows they change nothing.
    serial::DiscoveryRoots roots;
    roots.sysClassTty = "C:\\nowhere";
    EXPECT_EQ(serial::DiscoverPorts(roots), expected);
}

TEST(PortDiscoveryWin32, ProbingSendsNothing)
{
    if (!wine_host::Available())
        GTEST_SKIP() << "needs wine-port-host: without it the probe could reach real ports";
    serial::DiscoverPorts();
    EXPECT_EQ(wine_host::ReadUntilQuiet("COM5", 300), "");
    EXPECT_EQ(wine_host::ReadUntilQuiet("COM12", 300), "");
}

}  // namespace
