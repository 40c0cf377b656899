#include "datagram/udp_listener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace datagram {

namespace {

std::string Reason(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// Joins group on the interface with address iface; the errno, 0 when joined.
int Join(int fd, in_addr group, in_addr iface) {
    ip_mreq request{};
    request.imr_multiaddr = group;
    request.imr_interface = iface;
    return ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0 ? 0
                                                                                          : errno;
}

} // namespace

bool IsMulticastGroup(const std::string& text) {
    in_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1 && IN_MULTICAST(ntohl(address.s_addr));
}

UdpListener::~UdpListener() {
    Close();
}

void UdpListener::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool UdpListener::Open(std::uint16_t port, const std::string& group, std::string& error) {
    Close();
    const std::string where = "UDP port " + std::to_string(port);
    in_addr groupAddress{};
    if (!group.empty() && (::inet_pton(AF_INET, group.c_str(), &groupAddress) != 1 ||
                           !IN_MULTICAST(ntohl(groupAddress.s_addr)))) {
        error = group + " is not a multicast group (224.0.0.0 to 239.255.255.255)";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = Reason(where.c_str(), errno);
        return false;
    }
    auto fail = [&](const char* what) {
        error = where + ": " + Reason(what, errno);
        ::close(fd);
        return false;
    };
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return fail("address reuse");
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0)
        return fail("port reuse");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("bind");
    if (!group.empty()) {
        in_addr any{};
        any.s_addr = htonl(INADDR_ANY);
        in_addr loopback{};
        loopback.s_addr = htonl(INADDR_LOOPBACK);
        // A computer without a default route has no default interface; the
        // loopback one is always there. Joined twice on one interface is
        // no failure.
        const int onDefault = Join(fd, groupAddress, any);
        const int onLoopback = Join(fd, groupAddress, loopback);
        const bool joined = onDefault == 0 || onLoopback == 0 ||
                            (onDefault == EADDRINUSE && onLoopback == EADDRINUSE);
        if (!joined) {
            errno = onLoopback != 0 ? onLoopback : onDefault;
            return fail(("joining " + group).c_str());
        }
    }
    fd_ = fd;
    return true;
}

int UdpListener::Receive(std::string& buffer, bool& truncated, std::string& error) {
    buffer.resize(kMaxDatagramSize);
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_TRUNC);
        if (n >= 0) {
            truncated = static_cast<std::size_t>(n) > buffer.size();
            buffer.resize(truncated ? buffer.size() : static_cast<std::size_t>(n));
            return 1;
        }
        if (errno == EINTR)
            continue;
        buffer.clear();
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        error = Reason("receive", errno);
        return -1;
    }
}

} // namespace datagram
