#pragma once
// A machine of the test's own for port discovery, under a temporary folder: sysfs's tty
// class, a device folder and a virtual-port folder closed to others, as the real ones are.

#include <filesystem>
#include <string>

#include "serial/port_discovery.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

class FakeMachine {
public:
    FakeMachine()
    {
        if (root().empty())
            return;
        roots.sysClassTty = root() + "/sys/class/tty";
        roots.devDir = root() + "/dev";
        roots.virtualDir = root() + "/display-test/ports";
        for (const std::string& dir : {roots.sysClassTty, roots.devDir, roots.virtualDir})
            std::filesystem::create_directories(dir);
        std::filesystem::permissions(root() + "/display-test", std::filesystem::perms::owner_all);
        std::filesystem::permissions(roots.virtualDir, std::filesystem::perms::owner_all);
    }

    // Empty when the folder could not be made.
    const std::string& root() const { return m_folder.path(); }

    serial::DiscoveryRoots roots;

private:
    TempFolder m_folder;
};

}  // namespace testing_support
