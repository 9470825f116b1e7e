#include "serial/port_description.h"

#include <windows.h>
// After windows.h: the Ports class's GUID is defined here, not only declared.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include "common/owned.h"
#include "common/wide_text.h"
#include "serial/port_name.h"
#include "serial/serial_comm_win32.h"
#include "serial/virtual_port_win32.h"

namespace serial {

namespace {

struct DeviceText {
    std::string friendlyName;
    std::string enumerator;
};

// A SetupAPI device list, owned.
struct DeviceListTraits {
    using Handle = HDEVINFO;
    static Handle None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle list) noexcept { return ::SetupDiDestroyDeviceInfoList(list) != FALSE; }
    static constexpr bool kKeptWhenRefused = false;
};
using DeviceList = common::Owned<DeviceListTraits>;

std::string Property(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[256] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                             sizeof(text) - sizeof(wchar_t), nullptr)
        || type != REG_SZ)
        return {};
    return wide_text::Narrow(text);
}

// The port name a device of the Ports class has, from its device key.
std::string PortNameOf(HDEVINFO list, SP_DEVINFO_DATA& device)
{
    const HKEY opened = ::SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (opened == INVALID_HANDLE_VALUE || opened == nullptr)
        return {};
    const win32::OwnedKey key(opened);
    wchar_t name[64] = {};
    DWORD bytes = sizeof(name) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes)
            != ERROR_SUCCESS
        || type != REG_SZ)
        return {};
    return ComPortEntry(wide_text::Narrow(name));
}

// What SetupAPI knows of the present device of the Ports class behind the port.
DeviceText FromSetupApi(const std::string& port)
{
    const DeviceList list(::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    if (!list.valid())
        return {};
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
        if (PortNameOf(list.get(), device) == port)
            return {Property(list.get(), device, SPDRP_FRIENDLYNAME),
                    Property(list.get(), device, SPDRP_ENUMERATOR_NAME)};
    }
    return {};
}

std::string DriverDeviceOf(const std::string& port)
{
    for (const win32::RegisteredPort& registered : win32::RegisteredPorts()) {
        if (registered.port == port)
            return registered.device;
    }
    return {};
}

}  // namespace

std::string DescribePort(const std::string& entry, const DiscoveryRoots& roots)
{
    const std::string port = ComPortEntry(entry);
    if (port.empty()) {
        const std::string& virtualDir = roots.virtualDir.empty() ? DefaultVirtualPortDir() : roots.virtualDir;
        const bool published = win32::IsVirtualPortName(entry) && !virtualDir.empty()
                               && !win32::VirtualPortPipe(virtualDir, entry).empty();
        return published ? kVirtualDisplayDescription : kPlainPortDescription;
    }
    const DeviceText device = FromSetupApi(port);
    return DescribeWindowsPort(port, device.friendlyName, device.enumerator, DriverDeviceOf(port));
}

}  // namespace serial
