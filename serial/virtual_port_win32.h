#pragma once
// The virtual-port folder on Windows, which has no pseudo-terminals. A virtual display
// listens on a named pipe of its own and publishes it in a folder of the user's own
// (DefaultVirtualPortDir(): %LOCALAPPDATA%\Vandry\display-test\ports) as a file sim0
// (sim1, sim2... while those are taken) whose text is the pipe's path. The display holds
// a lock on the file for as long as it runs (serial::VirtualPortPublication); the lock ends
// with its process, however it ends. A file whose lock is free was left by a display that
// was killed: it is neither listed nor opened, and the next display takes its name over.

#include <string>
#include <string_view>
#include <vector>

#include "serial/native_handle.h"

namespace serial::win32 {

// Every pipe a display publishes begins so; nothing else is opened through the folder.
inline constexpr std::string_view kVirtualPipePrefix = R"(\\.\pipe\vandry-display-test-)";

// A pipe path of that prefix that no other pipe of this machine has: the process's
// number, a count and the time.
std::string NewVirtualPipePath();

// Whether a path is one a display publishes: the prefix, then one to 80 letters, digits
// and '-'. A file that names anything else is not followed.
bool IsVirtualPipePath(std::string_view path);

// Whether a name may be a virtual port: one to 32 ASCII letters and digits that is not a
// COM port's name ("sim0" may, "COM3", "..\x" and "" may not).
bool IsVirtualPortName(std::string_view name);

// Whether the ports in this folder may be trusted: a real folder (not a link or a
// junction) owned by the user who runs us, as is its parent. False with a one-line reason
// when not.
bool VirtualFolderTrusted(const std::string& folder, std::string* reason = nullptr);

// The names of the folder's live ports (a running display holds their lock and they name
// a virtual pipe), in NaturalLess order; none when the folder is missing or not trusted.
std::vector<std::string> LiveVirtualPorts(const std::string& folder);

// The pipe that folder\name leads to while a running display holds it; empty, with a
// one-line reason, when the name is not published, its display ended, or the folder or
// the file cannot be trusted.
std::string VirtualPortPipe(const std::string& folder, const std::string& name, std::string* reason = nullptr);

}  // namespace serial::win32
