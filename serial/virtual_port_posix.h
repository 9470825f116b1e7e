#pragma once
// The virtual-port folder and the lines it may lead to (POSIX only). A virtual display
// publishes its pseudo-terminal there as a link (sim0) and holds a lock on a hidden file
// beside it (.sim0.lock) for as long as it runs (serial::VirtualPortPublication). A link
// counts only while that lock is held: the display keeps its pseudo-terminal for exactly
// as long, so the terminal a live link leads to cannot have been handed to another program.

#include <set>
#include <string>

#include <sys/types.h>

namespace serial {

// Whether the ports in this folder may be trusted: the folder and its parent are real
// folders of this user that nobody else may write to. Whoever may write to the folder, or
// rename it away from under its parent, could slip any device in under a name we trust.
// False with a one-line reason when not.
bool VirtualFolderTrusted(const std::string& folder, std::string* reason = nullptr);

// The file whose lock holds a name: <folder>/.<name>.lock
std::string VirtualPortLockPath(const std::string& folder, const std::string& name);

// Takes a display's lock on an open lock file, without waiting. False when another holds
// it. The lock belongs to the open file (not the process) and ends with its last
// descriptor, however the display ends.
bool LockVirtualPort(int lockFd);

// Whether a running display holds the lock of folder/name. Looking does not take the
// lock, so a display starting meanwhile never finds its name taken.
bool VirtualPortAlive(const std::string& folder, const std::string& name);

// Whether a character device is the slave side of a pseudo-terminal.
bool IsPseudoTerminalSlave(dev_t device);

// Whether a character device is a line a display may hang on: a pseudo-terminal's slave,
// or a terminal with hardware behind it (sysfs <sysDevChar>/<major>:<minor> has a device
// and belongs to the tty class). /dev/null, /dev/ptmx, /dev/tty and the virtual consoles
// are not.
bool IsTerminalLine(dev_t device, const std::string& sysDevChar = "/sys/dev/char");

// The kernel's active consoles, by name ("tty0 ttyS0"), from the list the kernel keeps
// (/sys/class/tty/console/active); none when it cannot be read.
std::set<std::string> ActiveConsoleNames(const std::string& consoleList);

// Whether a character device is one of the kernel's active consoles: the kernel writes its
// messages there and may read a login from it, so a program that sets it raw at another
// rate disturbs both. <sysClassTty>/<name>/dev gives each console's device number.
bool IsActiveConsole(dev_t device, const std::string& sysClassTty, const std::string& consoleList);

}  // namespace serial
