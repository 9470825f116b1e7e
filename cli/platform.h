#pragma once
// The little that display-send does differently per platform. One file per platform.

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The command-line arguments after the program name, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// What a user can do about "permission denied" on this platform; may be empty.
std::string_view PermissionHint();

}  // namespace cli
