#include "cli/permission_advice.h"

#include <algorithm>

namespace cli {

std::string PermissionAdvice(const std::string& deviceGroup, const std::string& deviceOwner,
                             const std::vector<std::string>& userGroups)
{
    const bool serialGroup = deviceGroup == "dialout" || deviceGroup == "uucp";
    const bool member = std::find(userGroups.begin(), userGroups.end(), deviceGroup) != userGroups.end();
    if (serialGroup && !member) {
        return "serial ports belong to the " + deviceGroup + " group: sudo usermod -aG " + deviceGroup
               + " $USER, then log in again";
    }
    if (deviceOwner.empty() || deviceGroup.empty())
        return {};
    return "the device belongs to user " + deviceOwner + " and group " + deviceGroup;
}

}  // namespace cli
