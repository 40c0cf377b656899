// A network serial port's address: "tcp://HOST:PORT", a raw TCP connection to
// a serial server (ser2net) beside the unit, which sets the line itself.
// HOST is a host name, an IPv4 address, or an IPv6 address in brackets
// ("tcp://[fe80::1]:3001"); PORT is 1 to 65535. Nothing is looked up here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace koravel {

inline constexpr const char* kNetworkScheme = "tcp://";

struct NetworkAddress {
    std::string host;   // as written, without the brackets of an IPv6 address
    std::uint16_t port; // 1 to 65535

    // "shack-pi:3001", "[fe80::1]:3001".
    std::string HostAndPort() const;
    // "tcp://shack-pi:3001".
    std::string Url() const;
};

// True when text starts with the network scheme (whether or not the rest is
// well formed): such a text names a network port, never a device.
bool IsNetworkTarget(const std::string& text);

// The address in text; nullopt with the reason in error when it is not a
// well-formed "tcp://HOST:PORT".
std::optional<NetworkAddress> ParseNetworkAddress(const std::string& text, std::string& error);
std::optional<NetworkAddress> ParseNetworkAddress(const std::string& text);

} // namespace koravel
