#pragma once
// A virtual-port folder as a test looks into it, the same on every platform: what a name
// leads to, whether a running display holds it, and what a display that was killed
// leaves. On POSIX a name is a link with a lock file beside it; on Windows a file that
// holds the pipe's path and is locked itself. One file per platform implements it.

#include <string>

namespace testing_support {

// A new folder of the test's own under the temporary folder; empty when it cannot be made.
std::string MakeTempFolder();

// folder/name, with this platform's separator.
std::string InFolder(const std::string& folder, const std::string& name);

// The n-th of the lines a display could publish: a pseudo-terminal's path, a pipe's.
std::string DisplayLinePath(int n);

// What folder/name leads to as the folder holds it; empty when nothing is there.
std::string LineOf(const std::string& folder, const std::string& name);

// Whether a sender takes folder/name for a running display's.
bool HeldByDisplay(const std::string& folder, const std::string& name);

// Whether nothing of folder/name is left (on POSIX neither the link nor its lock file).
bool LeftNothing(const std::string& folder, const std::string& name);

// Whether the folder is one the panel trusts and nobody else may look into.
bool FolderPrivate(const std::string& folder);

// Leaves what a display that was killed leaves of folder/name: the entry, no lock.
bool LeaveAsKilled(const std::string& folder, const std::string& name, const std::string& line);

}  // namespace testing_support
