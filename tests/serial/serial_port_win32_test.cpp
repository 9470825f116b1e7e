// The Win32 serial backend under Wine. wine-port-host links pseudo-terminals into the
// prefix as COM5 and COM12 and reports what arrives on them and with which settings, and
// /dev/null as COM7: a device that opens but takes no line settings. No other COM port
// exists there.

#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "serial/line_win32.h"
#include "serial/port_name.h"
#include "tests/wine/port_host_client.h"
#include "tests/wine/win32_process.h"

namespace {

using serial::CSerialPort;
using serial::OpenError;

constexpr char kPort[] = "COM5";
constexpr char kNoSerialLine[] = "COM7";
constexpr int kArrivalMs = 5000;  // a bound for bytes to arrive, not a measurement
constexpr int kQuietMs = 300;

std::uint32_t WriteText(CSerialPort& port, const std::string& bytes)
{
    return port.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
}

TEST(PortNameWin32, EntriesAreDevicePathsAndVirtualPortsLiveInTheUsersFolder)
{
    EXPECT_EQ(serial::PortDevicePath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(serial::PortDevicePath("COM16"), "\\\\.\\COM16");
    EXPECT_EQ(serial::PortDevicePath("COM23"), "\\\\.\\COM23");
    EXPECT_EQ(serial::PortDevicePath("COM257"), "");
    EXPECT_EQ(serial::PortDevicePath("ttyUSB0"), "");
    EXPECT_EQ(serial::PortDevicePath("/dev/ttyS0"), "");
    wchar_t saved[MAX_PATH + 1] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH + 1), 0u);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", L"D:\\Users\\小明\\AppData\\Local\\");
    EXPECT_EQ(serial::DefaultVirtualPortDir(), "D:\\Users\\小明\\AppData\\Local\\Vandry\\display-test\\ports");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", saved);
}

// Each step's error as the reason a user reads, without needing a driver that fails so.
TEST(SerialPortWin32, ErrorOfEachStepAsAReason)
{
    using serial::win32::OpenStep;
    const struct {
        DWORD error;
        OpenStep step;
        OpenError kind;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, OpenStep::Create, OpenError::NoSuchPort},
        {ERROR_PATH_NOT_FOUND, OpenStep::Create, OpenError::NoSuchPort},
        {ERROR_DEV_NOT_EXIST, OpenStep::GetState, OpenError::NoSuchPort},
        {ERROR_DEVICE_NOT_CONNECTED, OpenStep::SetState, OpenError::NoSuchPort},
        {ERROR_ACCESS_DENIED, OpenStep::Create, OpenError::InUse},
        {ERROR_SHARING_VIOLATION, OpenStep::Create, OpenError::InUse},
        {ERROR_BUSY, OpenStep::Create, OpenError::InUse},
        {ERROR_ACCESS_DENIED, OpenStep::SetState, OpenError::PermissionDenied},
        {ERROR_BUSY, OpenStep::Purge, OpenError::PermissionDenied},
        {ERROR_INVALID_PARAMETER, OpenStep::SetState, OpenError::UnsupportedBaud},
        {ERROR_NOT_SUPPORTED, OpenStep::SetState, OpenError::UnsupportedBaud},
        {ERROR_INVALID_PARAMETER, OpenStep::SetTimeouts, OpenError::Other},
        {ERROR_GEN_FAILURE, OpenStep::Setup, OpenError::Other},
        {ERROR_FILE_NOT_FOUND, OpenStep::OpenPipe, OpenError::NoSuchPort},
        {ERROR_PIPE_BUSY, OpenStep::OpenPipe, OpenError::InUse},
        {ERROR_SEM_TIMEOUT, OpenStep::OpenPipe, OpenError::InUse},  // waited for it to be free
        {ERROR_ACCESS_DENIED, OpenStep::OpenPipe, OpenError::PermissionDenied},
        {ERROR_PATH_NOT_FOUND, OpenStep::OpenPipe, OpenError::Other},
        {ERROR_PIPE_BUSY, OpenStep::Create, OpenError::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(serial::win32::FailureOf(c.error, c.step).kind, c.kind) << c.error << " at step " << int(c.step);
}

TEST(SerialPortWin32, OpensWithTheBaudRateEightDataBitsNoParityOneStopBitAndClosesAsFound)
{
    REQUIRE_PORT_HOST();
    for (const std::uint32_t baud : {2400u, 9600u}) {
        SCOPED_TRACE(baud);
        const auto found = wine_host::Settings(kPort);
        ASSERT_TRUE(found.has_value());
        CSerialPort port;
        ASSERT_TRUE(port.Open(kPort, baud));
        EXPECT_TRUE(port.IsOpen());
        EXPECT_EQ(port.LastOpenFailure().kind, OpenError::None);

        const auto line = wine_host::Settings(kPort);
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->outputSpeed, static_cast<int>(baud));
        EXPECT_EQ(line->inputSpeed, static_cast<int>(baud));
        EXPECT_EQ(line->dataBits, 8);
        EXPECT_FALSE(line->parity);
        EXPECT_FALSE(line->twoStopBits);
        // Bytes go out as they are: no CR added to a LF, no eighth bit stripped.
        EXPECT_FALSE(line->outputProcessing);
        EXPECT_FALSE(line->stripsEighthBit);
        EXPECT_TRUE(port.Close());
        // Closing puts the line back as it was found.
        const auto after = wine_host::Settings(kPort);
        ASSERT_TRUE(after.has_value());
        EXPECT_EQ(after->outputSpeed, found->outputSpeed);
        EXPECT_EQ(after->canonical, found->canonical);
    }
}

TEST(SerialPortWin32, AWriteReturnsOnlyOnceItsBytesHaveLeftWholeAndUnchanged)
{
    REQUIRE_PORT_HOST();
    CSerialPort port;
    ASSERT_TRUE(port.Open(kPort, 2400));
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    // Write waits for the driver's output queue to empty, so the far end has every byte
    // at once: the next message's purge can cut nothing off.
    const std::string messages[] = {"\x0C", "\x1BQA12.34\r", "\x0C\x1BQA12.34\r", std::string(200, '8'), everyByte};
    for (const std::string& message : messages) {
        EXPECT_EQ(WriteText(port, message), CSerialPort::kErrorSuccess);
        EXPECT_EQ(wine_host::Read(kPort, message.size(), 0), message);
    }
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
}

// A line that takes nothing: the write ends with a time-out, or at a stop from another
// thread, and the port stays usable. A stop asked before a write: serial_port_posix_test.cpp.
TEST(SerialPortWin32, AStalledWriteEndsWithATimeOutOrAtAStop)
{
    REQUIRE_PORT_HOST();
    const struct {
        const char* what;
        std::size_t length;
        bool stops;
        std::uint32_t result;
    } rows[] = {
        // The write time-out (100 ms a byte and 1000 ms) ends the write; WriteFile still
        // succeeds then, and only the count it reports shows that bytes are missing.
        {"a message on a stalled line", 9, false, ERROR_TIMEOUT},
        // More than the terminal holds, so the write itself waits; it would time out after
        // 100 ms a byte. Only the stop can end it soon.
        {"a long message stopped", 20000, true, ERROR_OPERATION_ABORTED},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        CSerialPort port;
        ASSERT_TRUE(port.Open(kPort, 9600));
        ASSERT_TRUE(wine_host::Stall(kPort));
        const std::vector<std::uint8_t> message(r.length, 0x38);
        std::stop_source stop;
        std::thread stopper([&] {
            if (!r.stops)
                return;
            ::Sleep(300);
            stop.request_stop();
        });
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(port.Write(message.data(), static_cast<std::uint32_t>(message.size()), stop.get_token()), r.result);
        EXPECT_LT(::GetTickCount64() - start, 60000u);
        stopper.join();
        ASSERT_TRUE(wine_host::Resume(kPort));
        wine_host::ReadUntilQuiet(kPort, kQuietMs);

        // The port stays usable.
        EXPECT_EQ(WriteText(port, "\x0C"), CSerialPort::kErrorSuccess);
        EXPECT_EQ(wine_host::Read(kPort, 1, kArrivalMs), "\x0C");
    }
}

// With no port at all: serial_port_test.cpp; a second Open while a port is held, which
// touches no line: serial_port_posix_test.cpp.
TEST(SerialPortWin32, CloseOrDestructionReleasesThePort)
{
    REQUIRE_PORT_HOST();
    const std::function<void(std::unique_ptr<CSerialPort>&)> releases[] = {
        [](auto& port) {
            EXPECT_TRUE(port->Close());
            EXPECT_FALSE(port->IsOpen());
            EXPECT_FALSE(port->Close());
            // Closed means closed: a write finds no port.
            EXPECT_EQ(WriteText(*port, "x"), CSerialPort::kErrorNotOpen);
        },
        [](auto& port) { port.reset(); },
    };
    for (const auto& release : releases) {
        auto port = std::make_unique<CSerialPort>();
        ASSERT_TRUE(port->Open(kPort, 9600));
        release(port);
        CSerialPort again;
        ASSERT_TRUE(again.Open(kPort, 2400));
        EXPECT_EQ(WriteText(again, "8"), CSerialPort::kErrorSuccess);
        EXPECT_EQ(wine_host::Read(kPort, 1, kArrivalMs), "8");
    }
}

TEST(SerialPortWin32, AFailedOpenHoldsNothing)
{
    REQUIRE_PORT_HOST();
    struct Row {
        const char* name;
        OpenError kind;
        int osError;
    };
    const Row rows[] = {
        {"COM0", OpenError::BadName, 0},
        {"COM257", OpenError::BadName, 0},
        {"COM17", OpenError::NoSuchPort, ERROR_FILE_NOT_FOUND},
        {"", OpenError::BadName, 0},
        {"COM5x", OpenError::NoSuchPort, 0},  // not read as COM5: a virtual port's name
        {"..\\COM5", OpenError::BadName, 0},
        {"COM9", OpenError::NoSuchPort, ERROR_FILE_NOT_FOUND},  // no line behind it
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CSerialPort port;
        EXPECT_FALSE(port.Open(r.name, 2400));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.LastOpenFailure().kind, r.kind);
        EXPECT_EQ(port.LastOpenFailure().osError, r.osError);
        if (r.osError != 0) {
            EXPECT_FALSE(port.LastOpenFailure().osMessage.empty());
        }
        EXPECT_EQ(WriteText(port, "x"), CSerialPort::kErrorNotOpen);
        EXPECT_FALSE(port.Close());

        // The object is as good as new: the next Open works.
        EXPECT_TRUE(port.Open(kPort, 2400));
        EXPECT_EQ(port.LastOpenFailure().kind, OpenError::None);
    }
    EXPECT_EQ(wine_host::ReadUntilQuiet(kPort, kQuietMs), "");
}

TEST(SerialPortWin32, AFailureAfterTheDeviceOpenedHoldsNothing)
{
    REQUIRE_PORT_HOST();
    CSerialPort port;
    EXPECT_FALSE(port.Open(kNoSerialLine, 2400));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(port.LastOpenFailure().kind, OpenError::None);
    EXPECT_NE(port.LastOpenFailure().osError, 0);
    EXPECT_FALSE(port.LastOpenFailure().osMessage.empty());
    EXPECT_EQ(WriteText(port, "x"), CSerialPort::kErrorNotOpen);
    EXPECT_FALSE(port.Close());
    EXPECT_TRUE(port.Open(kPort, 2400));
}

}  // namespace
