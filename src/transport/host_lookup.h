// A serial server's host name to its TCP addresses, with the system's
// resolver, in bounded time: a name server that does not answer must not
// hold the window up longer than a connection attempt may.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace transport {

struct HostAddresses {
    // 0, or the resolver's code as the serial layer gives it (see
    // kHostNotFound in port.h).
    std::int32_t error = 0;
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> lengths;
};

// Looks host and a numeric service up, waiting for the answer.
using Resolver = std::function<HostAddresses(const std::string& host, const std::string& service)>;

// The system's resolver (getaddrinfo), stream sockets of any family.
HostAddresses ResolveWithSystem(const std::string& host, const std::string& service);

// Runs resolve on a thread of its own and waits at most limit for it. Past
// the limit the answer is EAI_AGAIN ("the name server does not answer"); the
// lookup then ends by itself and what it finds is dropped.
HostAddresses LookUpHost(const std::string& host, std::uint16_t port,
                         std::chrono::milliseconds limit,
                         const Resolver& resolve = ResolveWithSystem);

} // namespace transport
