#pragma once
// What stands behind a port list entry, in a few words for a person choosing a port:
// "USB serial: FT232R USB UART", "built-in serial port", "virtual display".
// One backend file per platform.

#include <string>
#include <string_view>

#include "serial/port_discovery.h"

namespace serial {

inline constexpr const char* kVirtualDisplayDescription = "virtual display";
inline constexpr const char* kBuiltInPortDescription = "built-in serial port";
inline constexpr const char* kUsbPortPrefix = "USB serial: ";
// A USB adapter whose product is not known.
inline constexpr const char* kUsbPortDescription = "USB serial";
// When nothing more is known about the port.
inline constexpr const char* kPlainPortDescription = "serial port";

// One line without tabs, so that a list of "name<TAB>description" stays two columns.
std::string DescribePort(const std::string& entry);

// The same with the roots of the POSIX discovery as parameters, so tests run on a fake
// sysfs tree; Windows ignores them.
std::string DescribePort(const std::string& entry, const DiscoveryRoots& roots);

// What Windows tells of a port: the device's friendly name from SetupAPI
// ("USB-SERIAL CH340 (COM7)") and the bus it hangs from (its enumerator: "USB",
// "FTDIBUS", "ACPI"), else the device its driver names in SERIALCOMM ("\Device\Serial0",
// "\Device\VCP0"). Empty where Windows said nothing. Pure, so tested on every platform.
std::string DescribeWindowsPort(std::string_view port, std::string_view friendlyName, std::string_view enumerator,
                                std::string_view driverDevice);

// Text read from the system made fit for one column: control characters (tabs, line
// breaks) become spaces, runs of spaces one, none at either end.
std::string OneColumn(const std::string& text);

}  // namespace serial
