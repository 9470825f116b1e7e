#pragma once
// Port list entries and the device paths they stand for. Pure functions, tested on every
// platform.

#include <string>
#include <string_view>

namespace serial {

// The number of a COMn entry, from the text after its first three characters: leading
// blanks and a sign, then digits up to the first other character ("COM12" gives 12,
// "COM3x" 3, "" 0), held to the range of int.
int ComPortNumber(std::string_view entry);

// "\\.\COMn" for the entries COM1 to COM256 (the form that reaches COM10 and above);
// empty for anything else (COM0, COM257, "COM1x", "").
std::string WindowsDevicePath(std::string_view entry);

// The list entry of a COM port name that WindowsDevicePath takes, in the one form the
// list shows: "COM3" for "com3" or "COM03"; empty for anything else.
std::string ComPortEntry(std::string_view name);

// The device of a POSIX entry: an absolute path stands for itself; "ttyXXX" is
// <devDir>/ttyXXX; any other plain name is a virtual port, <virtualDir>/<name>. Empty for
// an empty name or one that could leave its folder ("..", a '/' inside a relative name).
std::string PosixDevicePath(std::string_view entry, std::string_view devDir, std::string_view virtualDir);

// The device path of an entry on this platform (virtual folder: DefaultVirtualPortDir()).
// Windows: the COM ports' only; a virtual port's pipe is looked up as it is opened.
std::string PortDevicePath(std::string_view entry);

// Where virtual ports publish themselves. POSIX: $XDG_RUNTIME_DIR/display-test/ports, or
// /tmp/display-test-<uid>/ports where that variable is unset. Windows (UTF-8):
// %LOCALAPPDATA%\Vandry\display-test\ports, empty when the user's local application data
// folder is not known.
std::string DefaultVirtualPortDir();

// Text a user typed (a port name, an argument), quoted for one line of a message: in
// double quotes, with quotes, backslashes, control characters and bytes that are not
// UTF-8 escaped (\n, \x1B, \u009B), so that no line break or escape sequence reaches the
// terminal. Other UTF-8 text stays as it is: COM3 gives "COM3", 显示屏 "显示屏", and
// ESC [2J "\x1B[2J".
std::string Quoted(std::string_view text);

}  // namespace serial
