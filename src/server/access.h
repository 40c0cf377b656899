// Who may use the station server: listening only on 127.0.0.1 or ::1, every
// local program may; on any other address (0.0.0.0, a LAN address, another
// loopback address) every request must carry the server's token, given as
// "Authorization: Bearer TOKEN" or, for a browser's WebSocket, which cannot
// set headers, as ?token=TOKEN. The token is compared in constant time.
// Plain C++: the server's sockets and files are elsewhere.
#pragma once

#include "server/http_request.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// An address to listen on: HOST:PORT, [IPv6]:PORT.
struct ListenAddress {
    std::string host; // without brackets
    std::uint16_t port = 0;

    // "127.0.0.1:8540", "[::1]:8540".
    std::string Text() const;
};

// Parses HOST:PORT (IPv6 hosts in brackets; port 0 to 65535, 0 for any free
// port). nullopt, with
// the reason in error, otherwise.
std::optional<ListenAddress> ParseListenAddress(std::string_view text, std::string& error);

// Exactly 127.0.0.1 or ::1: only programs of this computer can connect.
bool IsLoopbackOnly(std::string_view host);

// A new token: 32 bytes from the system's secure random source, as 64
// lower-case hex digits. nullopt, with the reason, when the source fails.
std::optional<std::string> NewToken(std::string& error);

// The two strings are equal, in a time that depends only on their lengths.
bool SameSecret(std::string_view a, std::string_view b);

// What the request shows of the token: the Authorization header's bearer
// token, or the ?token= query value when allowQuery (a WebSocket's).
std::optional<std::string> PresentedToken(const http::Request& request, bool allowQuery);

// The request carries the right token.
bool Authorized(const http::Request& request, std::string_view token, bool allowQuery);

// A WebSocket's Origin is acceptable: none (a program that is no browser), or
// the origin of the server's own page (the scheme and the Host it was asked
// by).
bool OriginAllowed(const http::Request& request, bool tls);

} // namespace server
