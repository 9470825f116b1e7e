#include "serial/port_description.h"

#include <algorithm>
#include <cctype>

namespace serial {

namespace {

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// USB-to-serial drivers whose device names say nothing of the product: FTDI's "VCP",
// Silicon Labs' "Silabser", Prolific's, the USB class driver's "USBSER", WCH's.
constexpr const char* kUsbDriverDevices[] = {"VCP", "SILABSER", "PROLIFICSERIAL", "USBSER", "CH341SER", "WCHUSBSERIAL"};

std::string FromDriverDevice(std::string_view driverDevice)
{
    std::string stem = Upper(driverDevice);
    const std::string prefix = "\\DEVICE\\";
    if (stem.compare(0, prefix.size(), prefix) != 0)
        return {};
    stem.erase(0, prefix.size());
    while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back())))
        stem.pop_back();
    // The UART driver of the machine's own ports.
    if (stem == "SERIAL")
        return kBuiltInPortDescription;
    const bool usb =
        std::find(std::begin(kUsbDriverDevices), std::end(kUsbDriverDevices), stem) != std::end(kUsbDriverDevices)
        || stem.find("USB") != std::string::npos;
    return usb ? kUsbPortDescription : std::string();
}

}  // namespace

std::string DescribeWindowsPort(std::string_view port, std::string_view friendlyName, std::string_view enumerator,
                                std::string_view driverDevice)
{
    std::string name = OneColumn(std::string(friendlyName));
    // Windows adds the port to the name: "USB-SERIAL CH340 (COM7)".
    const std::string suffix = " (" + Upper(port) + ")";
    if (!port.empty() && EndsWith(Upper(name), suffix))
        name.erase(name.size() - suffix.size());
    if (!name.empty()) {
        const std::string bus = Upper(enumerator);
        // FTDI's driver enumerates its own bus below the USB device.
        if (bus.find("USB") != std::string::npos || bus == "FTDIBUS")
            return kUsbPortPrefix + name;
        if (bus == "ACPI")
            return kBuiltInPortDescription;
        return name;
    }
    const std::string fromDevice = FromDriverDevice(driverDevice);
    return fromDevice.empty() ? kPlainPortDescription : fromDevice;
}

std::string DescribePort(const std::string& entry)
{
    return DescribePort(entry, DiscoveryRoots{});
}

std::string OneColumn(const std::string& text)
{
    std::string out;
    bool space = false;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == ' ') {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

}  // namespace serial
