#pragma once
// The little that display-send does differently per platform. One file per platform.

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// The command-line arguments after the program name, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Standard output and error, for UTF-8 text. On Windows a console shows it whatever its
// code page (it goes in as UTF-16); a pipe or a file gets the UTF-8 bytes.
std::ostream& Out();
std::ostream& Err();

// What a user can do about "permission denied" on the device at devicePath; may be empty.
std::string PermissionHint(const std::string& devicePath);

// Whether devicePath is a terminal of the user's own: /dev/tty, the controlling terminal,
// or the terminal of standard input, output or error. It is no display, and raw mode
// would leave it unusable.
bool IsOwnTerminal(const std::string& devicePath);

}  // namespace cli
