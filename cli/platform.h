#pragma once
// The little that display-send does differently per platform. One file per platform.

#include <functional>
#include <ostream>
#include <stop_token>
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

// Runs work with SIGINT, SIGTERM and SIGHUP held back. When one comes, asks work to stop
// through its token and returns the signal's number once work has returned; 0 when none
// came. Work owns the line from open to close, so the line is always put back and released
// before the program ends. Windows: work simply runs.
int RunHoldingSignals(const std::function<void(std::stop_token)>& work);

// The name of a signal for a message ("Terminated").
std::string SignalName(int signalNumber);

}  // namespace cli
