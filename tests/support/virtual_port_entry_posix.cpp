#include "tests/support/virtual_port_entry.h"

#include <fcntl.h>
#include <stdlib.h>

#include <filesystem>
#include <system_error>

#include "serial/native_handle.h"
#include "serial/virtual_port_posix.h"

namespace fs = std::filesystem;

namespace testing_support {

std::string MakeTempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "display-test-XXXXXX").string();
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder + "/" + name;
}

std::string DisplayLinePath(int n)
{
    return "/dev/pts/" + std::to_string(70 + n);
}

std::string LineOf(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(InFolder(folder, name), ec);
    return ec ? std::string() : target.string();
}

bool HeldByDisplay(const std::string& folder, const std::string& name)
{
    return serial::VirtualPortAlive(folder, name) && !LineOf(folder, name).empty();
}

bool LeftNothing(const std::string& folder, const std::string& name)
{
    return !fs::exists(fs::symlink_status(InFolder(folder, name)))
           && !fs::exists(fs::symlink_status(serial::VirtualPortLockPath(folder, name)));
}

bool FolderPrivate(const std::string& folder)
{
    return (fs::status(folder).permissions() & fs::perms::all) == fs::perms::owner_all
           && serial::VirtualFolderTrusted(folder);
}

bool LeaveAsKilled(const std::string& folder, const std::string& name, const std::string& line)
{
    std::error_code ec;
    fs::create_symlink(line, InFolder(folder, name), ec);
    const serial::OwnedHandle lock(
        ::open(serial::VirtualPortLockPath(folder, name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    return !ec && lock.valid();
}

}  // namespace testing_support
