#pragma once
// The names of displays on the network: rfc2217://HOST:PORT, a device server that sets the
// remote line through the Telnet COM port option, and tcp://HOST:PORT, the bytes as they
// are at the device server's own settings. HOST is a host name, an IPv4 address or an IPv6
// address in brackets. Pure functions, the same on every platform.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace serial {

struct NetworkPort {
    enum class Kind { Rfc2217, RawTcp };
    Kind kind = Kind::Rfc2217;
    std::string host;  // without brackets: "10.0.0.7", "till3", "::1"; empty: none named
    std::uint16_t port = 0;

    bool operator==(const NetworkPort&) const = default;
};

// Whether a port name is meant for the network: it starts with "rfc2217://" or "tcp://",
// in any case. Such a name is never a device, even when it is not well formed.
bool IsNetworkName(std::string_view name);

// A network port's name taken apart. Nullopt, with *why set to one line saying what is
// wrong ("no port number after the host", "port 70000 is out of range"), for a name that
// is not well formed. A sender's name needs a host and a port from 1 to 65535; a
// listener's (listen true) may leave the host out ("rfc2217://:4001") and take port 0,
// a free port.
std::optional<NetworkPort> ParseNetworkName(std::string_view name, std::string* why, bool listen = false);

// The one form of a network port's name: "rfc2217://10.0.0.7:4001", "tcp://[::1]:4001".
std::string NetworkName(const NetworkPort& port);

// HOST:PORT as a user reads it: "10.0.0.7:4001", "[::1]:4001".
std::string HostAndPort(const NetworkPort& port);

}  // namespace serial
