#pragma once
// What to tell a user who may not open a serial device. Pure, so that every case is
// tested without switching users.

#include <string>
#include <vector>

namespace cli {

// The dialout hint where it helps: the device belongs to a serial-port group (dialout,
// or uucp on some distributions) that the user is not in. Otherwise the device's owner
// and group, so the user can see whom to ask. Empty when neither is known.
std::string PermissionAdvice(const std::string& deviceGroup, const std::string& deviceOwner,
                             const std::vector<std::string>& userGroups);

}  // namespace cli
