// Winsock's TCP sockets under Wine against real peers on the loopback: Debian's ser2net in
// front of COM5's pseudo-terminal (started by wine-port-host), and a listener of our own.

#include "serial/socket.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

#include "tests/wine/port_host_client.h"
#include "tests/wine/win32_process.h"

namespace {

using serial::ReceiveResult;
using serial::Socket;

constexpr char kPort[] = "COM5";
constexpr DWORD kArrivalMs = 5000;  // a bound for news to arrive, not a measurement

Socket::Clock::time_point Bound()
{
    return Socket::Clock::now() + std::chrono::seconds(3);
}

Socket ConnectTo(int port, serial::OpenFailure* failure, std::stop_token stop = {})
{
    return Socket::Connect("127.0.0.1", static_cast<std::uint16_t>(port), Bound(), stop, failure);
}

std::uint32_t SendText(Socket& socket, const std::string& bytes)
{
    return socket.Send(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), std::chrono::seconds(5),
                       std::chrono::seconds(5), {});
}

// What the socket gives once its event is set: the bytes, or "closed" at the peer's end.
std::string Next(Socket& socket)
{
    std::uint8_t buffer[256];
    std::size_t count = 0;
    for (;;) {
        if (::WaitForSingleObject(socket.EventHandle(), kArrivalMs) != WAIT_OBJECT_0)
            return "nothing";
        switch (socket.Receive(buffer, sizeof buffer, &count)) {
        case ReceiveResult::Data: return std::string(reinterpret_cast<char*>(buffer), count);
        case ReceiveResult::Closed: return "closed";
        case ReceiveResult::Failed: return "failed";
        case ReceiveResult::Nothing: break;  // the event told of room to send
        }
    }
}

TEST(SocketWin32, AFailedConnectSaysWhy)
{
    std::string error;
    int freePort = 0;
    {
        const auto listener = serial::ListeningSocket::Listen("", 0, &error);
        ASSERT_TRUE(listener.Valid()) << error;
        freePort = listener.Port();
    }
    std::stop_source stopped;
    stopped.request_stop();
    serial::OpenFailure failure;
    EXPECT_FALSE(ConnectTo(freePort, &failure).Valid());
    EXPECT_EQ(failure.kind, serial::OpenError::ConnectionRefused);
    EXPECT_FALSE(ConnectTo(freePort, &failure, stopped.get_token()).Valid());
    EXPECT_EQ(failure.osMessage, "cancelled");
}

TEST(SocketWin32, ThroughADeviceServerBytesGoBothWaysAndItsEndIsSeen)
{
    REQUIRE_PORT_HOST();
    const auto port = wine_host::Serve(kPort, "tcp");
    ASSERT_TRUE(port.has_value());
    serial::OpenFailure failure;
    Socket socket = ConnectTo(*port, &failure);
    ASSERT_TRUE(socket.Valid()) << failure.osMessage;
    EXPECT_EQ(SendText(socket, "\x0C\xFF\x0D"), serial::CSerialPort::kErrorSuccess);
    EXPECT_EQ(wine_host::Read(kPort, 3, kArrivalMs), "\x0C\xFF\x0D");
    ASSERT_TRUE(wine_host::Write(kPort, "\x1BQ"));
    EXPECT_EQ(Next(socket), "\x1BQ");

    // Killed: the close is seen, and a write soon fails as on a port that went away.
    ASSERT_TRUE(wine_host::Unserve(kPort));
    EXPECT_EQ(Next(socket), "closed");
    std::uint32_t result = serial::CSerialPort::kErrorSuccess;
    for (int i = 0; i < 100 && result == serial::CSerialPort::kErrorSuccess; ++i) {
        result = SendText(socket, "8");
        ::Sleep(20);  // for the peer's reset to come back
    }
    EXPECT_TRUE(serial::CSerialPort::IsDeviceGone(result)) << result;
}

TEST(SocketWin32, AListenerAcceptsAndSeesItsClientLeave)
{
    std::string error;
    auto listener = serial::ListeningSocket::Listen("127.0.0.1", 0, &error);
    ASSERT_TRUE(listener.Valid()) << error;
    EXPECT_FALSE(listener.Accept().Valid());  // nobody waits yet
    serial::OpenFailure failure;
    Socket client = ConnectTo(listener.Port(), &failure);
    ASSERT_TRUE(client.Valid()) << failure.osMessage;
    ASSERT_EQ(::WaitForSingleObject(listener.EventHandle(), kArrivalMs), WAIT_OBJECT_0);
    Socket served = listener.Accept();
    ASSERT_TRUE(served.Valid());
    EXPECT_NE(served.EventHandle(), listener.EventHandle());

    EXPECT_EQ(SendText(client, "12.50\r"), serial::CSerialPort::kErrorSuccess);
    EXPECT_EQ(Next(served), "12.50\r");
    EXPECT_EQ(SendText(served, "\xFF\xFB\x2C"), serial::CSerialPort::kErrorSuccess);
    EXPECT_EQ(Next(client), "\xFF\xFB\x2C");
    client.Close();
    EXPECT_EQ(Next(served), "closed");
}

}  // namespace
