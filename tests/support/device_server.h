#pragma once
// A real serial device server for the tests: Debian's ser2net, in the foreground, in front
// of a pseudo-terminal, on a free port of the loopback, with a configuration the test
// writes. Never the system's service or its configuration. A test that finds no ser2net
// skips.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

inline constexpr const char* kSer2net = "/usr/sbin/ser2net";
// The Python that has pyserial: another one on the PATH may not.
inline constexpr const char* kSystemPython = "/usr/bin/python3";

inline bool HaveSer2net()
{
    return ::access(kSer2net, X_OK) == 0;
}

// A port on 127.0.0.1 that nothing listened on a moment ago.
inline std::uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    std::uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// Whether something accepts connections on 127.0.0.1:port.
inline bool Accepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

class DeviceServer {
public:
    enum class Accepter { Rfc2217, RawTcp };

    // Serves device (a pseudo-terminal's slave) at 9600 8N1 on a free loopback port.
    DeviceServer(std::string device, Accepter accepter) : m_device(std::move(device)), m_accepter(accepter)
    {
        m_port = FreeLoopbackPort();
        Start();
    }
    ~DeviceServer() { Stop(); }

    // Started and accepting connections.
    bool Running() const { return m_child && m_child->started() && m_accepting; }
    std::uint16_t Port() const { return m_port; }
    // The port's name for our programs: rfc2217://127.0.0.1:PORT or tcp://127.0.0.1:PORT.
    std::string Name() const
    {
        return std::string(m_accepter == Accepter::Rfc2217 ? "rfc2217://" : "tcp://")
               + "127.0.0.1:" + std::to_string(m_port);
    }

    // Ends it as a shop's device server ends: killed, its connections reset.
    void Kill()
    {
        if (m_child)
            m_child->Stop(SIGKILL);
        m_child.reset();
        m_accepting = false;
    }
    // Ends it with SIGTERM (ser2net exits with 1 then); what it printed is in Errors().
    void Stop()
    {
        if (m_child) {
            m_child->Stop(SIGTERM);
            m_errors = m_child->Errors();
        }
        m_child.reset();
        m_accepting = false;
    }
    // Starts it again on the same port, as after a restart of the device server.
    void Start()
    {
        const std::string config = m_folder.path() + "/ser2net.yaml";
        {
            std::ofstream out(config);
            // telnet(rfc2217) takes the COM port option; a pseudo-terminal acknowledges no
            // SET-CONTROL, which pyserial's client is told to ignore.
            out << "%YAML 1.1\n---\nconnection: &display\n  accepter: "
                << (m_accepter == Accepter::Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << m_port
                << "\n  connector: serialdev," << m_device << ",9600n81,local\n  options:\n    kickolduser: true\n";
        }
        testing_child::Setup setup;
        m_child = std::make_unique<testing_child::Child>(
            kSer2net, std::vector<std::string>{"-n", "-u", "-c", config, "-P", m_folder.path() + "/ser2net.pid"},
            setup);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        m_accepting = false;
        while (m_child->started() && std::chrono::steady_clock::now() < end) {
            if (Accepts(m_port)) {
                m_accepting = true;
                break;
            }
            ::poll(nullptr, 0, 20);
        }
    }
    const std::string& Errors() const { return m_errors; }

private:
    TempFolder m_folder;
    std::string m_device;
    Accepter m_accepter;
    std::uint16_t m_port = 0;
    std::unique_ptr<testing_child::Child> m_child;
    bool m_accepting = false;
    std::string m_errors;
};

}  // namespace testing_support
