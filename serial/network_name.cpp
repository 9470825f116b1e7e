#include "serial/network_name.h"

#include <charconv>

#include "common/text.h"

namespace serial {

namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kTcpScheme = "tcp://";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && common::EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::optional<NetworkPort> Refuse(std::string* why, std::string reason)
{
    if (why != nullptr)
        *why = std::move(reason);
    return std::nullopt;
}

// What a host name or address may hold: letters, digits, '-', '.', '_'; an IPv6 address in
// brackets hex digits, ':', '.' and a zone after '%'.
bool PlainHostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_';
}

bool Ipv6Char(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

}  // namespace

bool IsNetworkName(std::string_view name)
{
    return StartsWithIgnoringCase(name, kRfc2217Scheme) || StartsWithIgnoringCase(name, kTcpScheme);
}

std::optional<NetworkPort> ParseNetworkName(std::string_view name, std::string* why, bool listen)
{
    NetworkPort result;
    std::string_view rest;
    if (StartsWithIgnoringCase(name, kRfc2217Scheme)) {
        result.kind = NetworkPort::Kind::Rfc2217;
        rest = name.substr(kRfc2217Scheme.size());
    } else if (StartsWithIgnoringCase(name, kTcpScheme)) {
        result.kind = NetworkPort::Kind::RawTcp;
        rest = name.substr(kTcpScheme.size());
    } else {
        return Refuse(why, "a network port starts with rfc2217:// or tcp://");
    }

    std::string_view host;
    std::string_view afterHost;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return Refuse(why, "no ']' after the IPv6 address");
        host = rest.substr(1, close - 1);
        afterHost = rest.substr(close + 1);
        const std::size_t zone = host.find('%');
        const std::string_view address = host.substr(0, zone);
        if (address.empty() || address.find(':') == std::string_view::npos)
            return Refuse(why, "no IPv6 address in the brackets");
        for (char c : address)
            if (!Ipv6Char(c))
                return Refuse(why, "not an IPv6 address in the brackets");
        if (zone != std::string_view::npos) {
            const std::string_view zoneName = host.substr(zone + 1);
            if (zoneName.empty())
                return Refuse(why, "no zone after '%'");
            for (char c : zoneName)
                if (!PlainHostChar(c))
                    return Refuse(why, "not a zone after '%'");
        }
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos)
            return Refuse(why, "no port number after the host (HOST:PORT)");
        host = rest.substr(0, colon);
        afterHost = rest.substr(colon);
        for (char c : host) {
            if (c == ':')
                return Refuse(why, "an IPv6 address goes in brackets ([::1]:4001)");
            if (!PlainHostChar(c))
                return Refuse(why, "not a host name or address");
        }
        if (!host.empty() && (host.front() == '-' || host.front() == '.'))
            return Refuse(why, "not a host name or address");
    }
    if (host.empty() && !listen)
        return Refuse(why, "no host before the port number");
    if (host.size() > 253)
        return Refuse(why, "the host name is too long");
    if (afterHost.empty() || afterHost.front() != ':')
        return Refuse(why, "no port number after the host (HOST:PORT)");
    const std::string_view digits = afterHost.substr(1);
    if (digits.empty())
        return Refuse(why, "no port number after the host (HOST:PORT)");
    std::uint32_t port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return Refuse(why, "the port is not a number");
    }
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (ec != std::errc() || end != digits.data() + digits.size() || port > 65535)
        return Refuse(why, "port " + std::string(digits.substr(0, 10)) + " is out of range (1 to 65535)");
    if (port == 0 && !listen)
        return Refuse(why, "port 0 is out of range (1 to 65535)");
    result.host = std::string(host);
    result.port = static_cast<std::uint16_t>(port);
    return result;
}

std::string HostAndPort(const NetworkPort& port)
{
    const bool bracketed = port.host.find(':') != std::string::npos;
    return (bracketed ? "[" + port.host + "]" : port.host) + ":" + std::to_string(port.port);
}

std::string NetworkName(const NetworkPort& port)
{
    return std::string(port.kind == NetworkPort::Kind::Rfc2217 ? kRfc2217Scheme : kTcpScheme) + HostAndPort(port);
}

}  // namespace serial
