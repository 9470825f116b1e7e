#pragma once
// The steps of CSerialPort that talk to the OS, one backend file per platform
// (serial_port_posix.cpp, serial_port_win32.cpp). Private to the serial library.

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

#include "serial/native_handle.h"
#include "serial/serial_port.h"

namespace serial::backend {

// The device a list entry or a typed name opens, once this platform's checks on it
// passed; on POSIX from what stat says, before anything is opened. Empty, with *failure
// set, when the name is refused.
std::string DevicePathForOpen(std::string_view name, const OpenOptions& options, OpenFailure* failure);

// POSIX: whether the device opened from this path is a virtual display's own terminal: a
// pseudo-terminal reached through a link in the virtual-port folder, not the kernel's console.
bool IsVirtualDisplayLine(const std::string& path, NativeHandle port, const OpenOptions& options);

// POSIX: whether the device just opened from DevicePathForOpen's path is still one to
// configure: a terminal line, not the kernel's console unless allowed, and, through a
// virtual port's link, the line of a display that still runs. False, with *failure set,
// when not.
bool AcceptOpenedDevice(const std::string& path, NativeHandle port, const OpenOptions& options,
                        OpenFailure* failure);

// POSIX: the step of Open that failed; the same errno means different things at
// different steps. KindOfErrno is the one place an errno becomes a reason.
enum class OpenStep { Open, Lock, Configure, Baud, Purge };
OpenError KindOfErrno(int err, OpenStep step);

// Opens and configures the port at this device path, keeping in *found what the line was
// set to. On any failure: an invalid handle, *failure set, the line as it was, and
// nothing left held.
OwnedHandle OpenConfigured(const std::string& path, std::uint32_t baudRate, const OpenOptions& options,
                           OpenFailure* failure, FoundLine* found);

// Windows: keeps a read waiting on a virtual display's pipe, which ends when the display
// closes its end; and whether it has.
void WaitForPipeEnd(NativeHandle pipe, FoundSettings& found);
bool PipeEnded(NativeHandle pipe, FoundSettings& found);

// Undoes what the platform set on the device while it was held, puts back the settings
// found (when given), then closes the handle. False when the OS refused to close it.
bool CloseHandleOf(OwnedHandle& port, FoundSettings* found);

// Purges both directions, writes count (> 0) bytes and waits until they left, within
// WriteTimeout and StallTimeout at the line's rate. 0, CSerialPort::TimeoutError() when the line stalled,
// CSerialPort::CancelledError() once stop was requested, else the OS error.
std::uint32_t WriteAll(NativeHandle port, const std::uint8_t* data, std::uint32_t count, std::stop_token stop);

}  // namespace serial::backend
