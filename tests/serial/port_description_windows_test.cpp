// What Windows says of a port, in the words of the port list: pure, so it runs on every
// platform. The expected words are written out by hand.

#include <gtest/gtest.h>

#include <string>

#include "serial/port_description.h"

namespace serial {
namespace {

TEST(PortDescription, WhatWindowsSaysOfAPort)
{
    const struct {
        const char* port;
        const char* friendlyName;  // SetupAPI, Ports class
        const char* enumerator;
        const char* driverDevice;  // SERIALCOMM
        const char* words;
    } rows[] = {
        {"COM7", "USB-SERIAL CH340 (COM7)", "USB", R"(\Device\Serial2)", "USB serial: USB-SERIAL CH340"},
        {"COM4", "USB Serial Port (COM4)", "FTDIBUS", R"(\Device\VCP0)", "USB serial: USB Serial Port"},
        {"COM10", "Silicon Labs CP210x USB to UART Bridge (com10)", "USB", "",
         "USB serial: Silicon Labs CP210x USB to UART Bridge"},
        {"COM1", "Communications Port (COM1)", "ACPI", R"(\Device\Serial0)", "built-in serial port"},
        {"COM9", "Standard Serial over Bluetooth link (COM9)", "BTHENUM", R"(\Device\BthModem0)",
         "Standard Serial over Bluetooth link"},
        {"COM3", "USB\tSerial  Device (COM3)\n", "USB", "", "USB serial: USB Serial Device"},
        // Nothing from SetupAPI (Wine has no devices): the driver's device speaks.
        {"COM1", "", "", R"(\Device\Serial0)", "built-in serial port"},
        {"COM23", "", "", R"(\Device\Serial22)", "built-in serial port"},
        {"COM5", "", "", R"(\Device\VCP0)", "USB serial"},
        {"COM6", "", "", R"(\Device\Silabser0)", "USB serial"},
        {"COM8", "", "", R"(\Device\ProlificSerial12)", "USB serial"},
        {"COM11", "", "", R"(\Device\USBSER000)", "USB serial"},
        {"COM12", "", "", R"(\device\vcp3)", "USB serial"},
        {"COM13", "", "", R"(\Device\com0com10)", "serial port"},
        {"COM14", "", "", "Serial0", "serial port"},  // no device path
        {"COM15", "", "", "", "serial port"},
        // A name for another port keeps its brackets.
        {"COM2", "Port (COM7)", "PCI", "", "Port (COM7)"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DescribeWindowsPort(r.port, r.friendlyName, r.enumerator, r.driverDevice), r.words)
            << r.port << " " << r.friendlyName << " " << r.driverDevice;
}

}  // namespace
}  // namespace serial
