#include "serial/port_description.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "serial/port_name.h"

namespace serial {

namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute; empty when it is missing or blank.
std::string Attribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return OneColumn(line);
}

bool IsUnder(const fs::path& path, const fs::path& root)
{
    return !root.empty() && std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// The USB device a terminal hangs from (a usb-serial or CDC interface sits one or two
// levels below it), found as the nearest folder with a vendor id.
std::string UsbDescription(const fs::path& device, const fs::path& sysRoot)
{
    for (fs::path dir = device; IsUnder(dir, sysRoot) && dir != sysRoot && dir != dir.parent_path();
         dir = dir.parent_path()) {
        std::error_code ec;
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        for (const char* attribute : {"product", "manufacturer"}) {
            if (const std::string text = Attribute(dir / attribute); !text.empty())
                return kUsbPortPrefix + text;
        }
        return kUsbPortPrefix + Attribute(dir / "idVendor") + ":" + Attribute(dir / "idProduct");
    }
    return {};
}

std::string Trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

std::string DescribePort(const std::string& entry, const DiscoveryRoots& roots)
{
    const std::string virtualDir = Trimmed(roots.virtualDir.empty() ? DefaultVirtualPortDir() : roots.virtualDir);
    const std::string devDir = Trimmed(roots.devDir);
    const fs::path path = PosixDevicePath(entry, devDir, virtualDir);
    if (path.empty())
        return kPlainPortDescription;
    if (path.parent_path() == fs::path(virtualDir))
        return kVirtualDisplayDescription;

    // A device of the device folder has its class entry under its own name; a device path
    // elsewhere (a by-id link) is followed to it first.
    std::error_code ec;
    fs::path device = path;
    if (device.parent_path() != fs::path(devDir)) {
        device = fs::canonical(path, ec);
        if (ec || device.parent_path() != fs::canonical(devDir, ec))
            return kPlainPortDescription;
    }
    const fs::path sysClassTty = Trimmed(roots.sysClassTty);
    const fs::path hardware = fs::canonical(sysClassTty / device.filename() / "device", ec);
    // Pseudo-terminals, consoles and Bluetooth links have no hardware of their own.
    if (ec)
        return kPlainPortDescription;
    const fs::path sysRoot = fs::canonical(sysClassTty.parent_path().parent_path(), ec);
    if (const std::string usb = UsbDescription(hardware, sysRoot); !usb.empty())
        return usb;
    return kBuiltInPortDescription;
}

}  // namespace serial
