// Port descriptions on a fake sysfs tree laid out as the kernel lays out a USB adapter,
// a CDC modem and an 8250 UART; nothing of the machine's own is read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

#include "serial/port_description.h"
#include "tests/support/fake_machine.h"

namespace serial {
namespace {

namespace fs = std::filesystem;

class PortDescription : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_root.empty()); }

    // A USB device folder with the given attributes (empty: absent).
    std::string AddUsbDevice(const std::string& path, const std::string& product, const std::string& manufacturer = {})
    {
        const std::string dir = m_root + "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + path;
        fs::create_directories(dir);
        std::ofstream(dir + "/idVendor") << "0403\n";
        std::ofstream(dir + "/idProduct") << "6001\n";
        if (!product.empty())
            std::ofstream(dir + "/product") << product << '\n';
        if (!manufacturer.empty())
            std::ofstream(dir + "/manufacturer") << manufacturer << '\n';
        return dir;
    }

    // A terminal class entry whose device link points at hardware (relative to the
    // devices folder), as /sys/class/tty/NAME/device does; "" for none.
    void AddTty(const std::string& name, const std::string& hardware)
    {
        const std::string entry = m_roots.sysClassTty + "/" + name;
        fs::create_directories(entry);
        std::ofstream(m_roots.devDir + "/" + name) << "";
        if (hardware.empty())
            return;
        const std::string target = m_root + "/sys/devices/" + hardware;
        fs::create_directories(target);
        fs::create_directory_symlink(fs::relative(target, entry), entry + "/device");
    }

    testing_support::FakeMachine m_machine;
    const std::string m_root = m_machine.root();
    DiscoveryRoots& m_roots = m_machine.roots;
};

TEST_F(PortDescription, SaysWhatStandsBehindEachEntry)
{
    // usb-serial: the tty sits below the interface, below the device.
    AddUsbDevice("1-2", "FT232R USB UART", "FTDI");
    AddTty("ttyUSB0", "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0");
    // CDC ACM: the interface itself is the tty's device.
    AddUsbDevice("1-3", "", "Arduino (www.arduino.cc)");
    AddTty("ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0");
    // Neither product nor maker: the ids.
    AddUsbDevice("1-4", "");
    AddTty("ttyUSB1", "pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB1");
    // A product string with a tab and a line break of its own stays one column.
    AddUsbDevice("1-5", "CH340\tserial   ");
    AddTty("ttyCH341USB0", "pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0/ttyCH341USB0");
    // 8250 UARTs: on the serial-base bus below a PNP device, or a platform device.
    AddTty("ttyS0", "pnp0/00:00/00:00:0/00:00:0.0");
    AddTty("ttyS1", "platform/serial8250/serial8250:0/serial8250:0.1");
    // No hardware: a Bluetooth link.
    AddTty("rfcomm0", "");
    fs::create_symlink("/dev/null", m_roots.virtualDir + "/sim0");
    // A link elsewhere in the device folder is followed to its device.
    fs::create_directories(m_roots.devDir + "/serial/by-id");
    const std::string byId = m_roots.devDir + "/serial/by-id/usb-FTDI_FT232R-if00-port0";
    fs::create_symlink("../../ttyUSB0", byId);

    struct Row {
        std::string entry;
        std::string description;
    };
    const Row rows[] = {
        {"ttyUSB0", "USB serial: FT232R USB UART"},
        {m_roots.devDir + "/ttyUSB0", "USB serial: FT232R USB UART"},
        {byId, "USB serial: FT232R USB UART"},
        {"ttyACM0", "USB serial: Arduino (www.arduino.cc)"},
        {"ttyUSB1", "USB serial: 0403:6001"},
        {"ttyCH341USB0", "USB serial: CH340 serial"},
        {"ttyS0", "built-in serial port"},
        {"ttyS1", "built-in serial port"},
        {m_roots.devDir + "/rfcomm0", "serial port"},
        {"sim0", "virtual display"},
        {m_roots.virtualDir + "/sim0", "virtual display"},
        {"ttyUSB9", "serial port"},           // gone since it was listed
        {"/nowhere/ttyUSB0", "serial port"},  // not the device folder's
        {"", "serial port"},
        {"..", "serial port"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DescribePort(r.entry, m_roots), r.description) << r.entry;
}

TEST(OneColumn, ControlCharactersAndSpacesFold)
{
    struct Row {
        const char* text;
        const char* column;
    };
    const Row rows[] = {
        {"FT232R USB UART", "FT232R USB UART"},
        {"  two  spaces  ", "two spaces"},
        {"tab\there", "tab here"},
        {"line\r\nbreak\n", "line break"},
        {"\x1b[31mred", "[31mred"},
        {"", ""},
        {"\t\n", ""},
        {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87"},  // UTF-8 kept whole
    };
    for (const Row& r : rows)
        EXPECT_EQ(OneColumn(r.text), r.column) << r.text;
}

}  // namespace
}  // namespace serial
