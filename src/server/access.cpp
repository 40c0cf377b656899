#include "server/access.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace server {

std::string ListenAddress::Text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& error) {
    ListenAddress address;
    std::string_view portText;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "expected [ADDRESS]:PORT";
            return std::nullopt;
        }
        address.host = std::string(text.substr(1, close - 1));
        portText = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos || text.find(':') != colon) {
            error = "expected HOST:PORT (an IPv6 address in brackets)";
            return std::nullopt;
        }
        address.host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
    }
    if (address.host.empty()) {
        error = "the host is empty";
        return std::nullopt;
    }
    unsigned long port = 0;
    if (portText.empty() || portText.size() > 5 ||
        portText.find_first_not_of("0123456789") != std::string_view::npos ||
        (port = std::stoul(std::string(portText))) > 65535) {
        error = "the port is not a number from 0 to 65535";
        return std::nullopt;
    }
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

bool IsLoopbackOnly(std::string_view host) {
    return host == "127.0.0.1" || host == "::1";
}

std::optional<std::string> NewToken(std::string& error) {
    unsigned char bytes[32];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::string("no secure random bytes: ") + std::strerror(errno);
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token.push_back(kHex[b >> 4]);
        token.push_back(kHex[b & 15]);
    }
    return token;
}

bool SameSecret(std::string_view a, std::string_view b) {
    // Every byte of the longer is looked at whatever differs.
    const std::size_t n = std::max(a.size(), b.size());
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned char>(x ^ y);
    }
    return diff == 0;
}

std::optional<std::string> PresentedToken(const http::Request& request, bool allowQuery) {
    if (const std::string* auth = request.Header("authorization")) {
        constexpr std::string_view kScheme = "bearer ";
        if (auth->size() > kScheme.size()) {
            std::string scheme = auth->substr(0, kScheme.size());
            for (char& c : scheme)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (scheme == kScheme) {
                std::string value = auth->substr(kScheme.size());
                while (!value.empty() && value.front() == ' ')
                    value.erase(value.begin());
                return value;
            }
        }
    }
    if (allowQuery)
        return request.QueryValue("token");
    return std::nullopt;
}

bool Authorized(const http::Request& request, std::string_view token, bool allowQuery) {
    const std::optional<std::string> presented = PresentedToken(request, allowQuery);
    return presented && !token.empty() && SameSecret(*presented, token);
}

bool OriginAllowed(const http::Request& request, bool tls) {
    const std::string* origin = request.Header("origin");
    if (origin == nullptr)
        return true;
    const std::string* host = request.Header("host");
    if (host == nullptr)
        return false;
    return *origin == std::string(tls ? "https://" : "http://") + *host;
}

} // namespace server
