// A virtual display's publication in a folder of the test's own, the same on every
// platform: the first free name, given up when the display goes and taken over when it was
// killed.
#include "serial/virtual_port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "tests/support/virtual_port_entry.h"

namespace {

using serial::VirtualPortPublication;
using testing_support::DisplayLinePath;
using testing_support::HeldByDisplay;
using testing_support::InFolder;
using testing_support::LeftNothing;
using testing_support::LineOf;

class Publication : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_root.empty()); }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::u8path(m_root), ignored);
    }

    const std::string m_root = testing_support::MakeTempFolder();
    // Below a parent, as the display's own is; neither is there yet.
    const std::string m_folder = InFolder(InFolder(m_root, "display-test"), "ports");
    std::string m_error;
};

TEST_F(Publication, TakesTheFirstFreeNameAndGivesItUp)
{
    auto first = std::make_unique<VirtualPortPublication>();
    ASSERT_TRUE(first->Publish(m_folder, DisplayLinePath(0), &m_error)) << m_error;
    EXPECT_EQ(first->Name(), "sim0");
    EXPECT_EQ(first->Path(), InFolder(m_folder, "sim0"));
    EXPECT_EQ(LineOf(m_folder, "sim0"), DisplayLinePath(0));
    EXPECT_TRUE(testing_support::FolderPrivate(m_folder));

    VirtualPortPublication second;
    ASSERT_TRUE(second.Publish(m_folder, DisplayLinePath(1), &m_error)) << m_error;
    EXPECT_EQ(second.Name(), "sim1");
    EXPECT_EQ(second.Path(), InFolder(m_folder, "sim1"));
    EXPECT_TRUE(HeldByDisplay(m_folder, "sim0"));
    EXPECT_TRUE(HeldByDisplay(m_folder, "sim1"));

    first.reset();
    EXPECT_TRUE(LeftNothing(m_folder, "sim0"));
    EXPECT_FALSE(HeldByDisplay(m_folder, "sim0"));

    // The freed name is the next display's.
    VirtualPortPublication third;
    ASSERT_TRUE(third.Publish(m_folder, DisplayLinePath(2), &m_error)) << m_error;
    EXPECT_EQ(third.Name(), "sim0");
    second.Remove();
    EXPECT_EQ(second.Name(), "");
    EXPECT_TRUE(LeftNothing(m_folder, "sim1"));
    EXPECT_EQ(LineOf(m_folder, "sim0"), DisplayLinePath(2));
}

TEST_F(Publication, TakesOverTheNameAKilledDisplayLeft)
{
    ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::u8path(m_folder)));
    ASSERT_TRUE(testing_support::LeaveAsKilled(m_folder, "sim0", DisplayLinePath(0)));
    EXPECT_FALSE(HeldByDisplay(m_folder, "sim0"));

    VirtualPortPublication display;
    ASSERT_TRUE(display.Publish(m_folder, DisplayLinePath(1), &m_error)) << m_error;
    EXPECT_EQ(display.Name(), "sim0");
    EXPECT_EQ(LineOf(m_folder, "sim0"), DisplayLinePath(1));
    EXPECT_TRUE(HeldByDisplay(m_folder, "sim0"));
}

// Nothing relative to a current folder, which another program's could change.
TEST_F(Publication, RefusesAFolderGivenByNoAbsolutePath)
{
    for (const char* folder : {"ports", ""}) {
        VirtualPortPublication display;
        EXPECT_FALSE(display.Publish(folder, DisplayLinePath(0), &m_error)) << folder;
        EXPECT_EQ(m_error.rfind("no folder for virtual ports (", 0), 0u) << m_error;
        EXPECT_EQ(display.Name(), "");
    }
}

}  // namespace
