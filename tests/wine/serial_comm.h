#pragma once
// The registry's list of serial ports (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) as a serial
// driver keeps it, for the Windows tests: the key is made volatile (reg.exe cannot make
// it), a port is named there when its line comes and unnamed when it goes.

#include <string>

namespace wine_host {

// Names the port ("COM23") under the driver's device ("\Device\Serial22"), creating the
// key when it is missing. True when the registry took it.
bool NameSerialPort(const std::string& device, const std::string& port);
// Removes the driver's device from the list; true when it is gone (or was never there).
bool UnnameSerialPort(const std::string& device);
// Removes the whole key, as on a machine with no serial driver loaded.
bool RemoveSerialPortList();

}  // namespace wine_host
