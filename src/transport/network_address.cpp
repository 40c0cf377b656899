#include "transport/network_address.h"

#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>

namespace koravel {

namespace {

constexpr std::size_t kLongestHostName = 253;
constexpr std::size_t kLongestLabel = 63;

bool IsLabelCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}

// Dot-separated labels of letters, digits, '-' and '_', none empty and none
// starting or ending with '-'. IPv4 addresses are of this form too.
bool IsHostName(const std::string& host) {
    if (host.empty() || host.size() > kLongestHostName)
        return false;
    std::size_t start = 0;
    while (start <= host.size()) {
        std::size_t dot = host.find('.', start);
        if (dot == std::string::npos)
            dot = host.size();
        const std::string label = host.substr(start, dot - start);
        // A trailing dot (a fully qualified name) ends in an empty label.
        if (label.empty())
            return dot == host.size() && start == host.size() && start > 0;
        if (label.size() > kLongestLabel || label.front() == '-' || label.back() == '-')
            return false;
        for (const char c : label) {
            if (!IsLabelCharacter(c))
                return false;
        }
        start = dot + 1;
    }
    return true;
}

bool IsIpv6Address(const std::string& text) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool ParsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

} // namespace

std::string NetworkAddress::HostAndPort() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string NetworkAddress::Url() const {
    return kNetworkScheme + HostAndPort();
}

bool IsNetworkTarget(const std::string& text) {
    return text.rfind(kNetworkScheme, 0) == 0;
}

std::optional<NetworkAddress> ParseNetworkAddress(const std::string& text, std::string& error) {
    if (!IsNetworkTarget(text)) {
        error = "a network port is written tcp://HOST:PORT";
        return std::nullopt;
    }
    const std::string rest = text.substr(std::string(kNetworkScheme).size());
    std::string host;
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            error = "an IPv6 address is written in brackets: tcp://[ADDRESS]:PORT";
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
        if (!IsIpv6Address(host)) {
            error = "'" + host + "' is not an IPv6 address";
            return std::nullopt;
        }
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos) {
            error = "no port number: write tcp://HOST:PORT";
            return std::nullopt;
        }
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (!IsHostName(host)) {
            error = host.empty() ? std::string("no host: write tcp://HOST:PORT")
                                 : "'" + host + "' is not a host name or address";
            return std::nullopt;
        }
    }
    NetworkAddress address{host, 0};
    if (!ParsePort(port, address.port)) {
        error = "'" + port + "' is not a TCP port (1 to 65535)";
        return std::nullopt;
    }
    return address;
}

std::optional<NetworkAddress> ParseNetworkAddress(const std::string& text) {
    std::string unused;
    return ParseNetworkAddress(text, unused);
}

} // namespace koravel
