// A UDP socket that listens for station datagrams beside other programs.
//
// It binds the port on every IPv4 address with SO_REUSEADDR and
// SO_REUSEPORT, so that it opens even when another program already listens
// there. What each program then gets is Linux's rule, not ours:
//   - a broadcast (to 127.255.255.255 on this computer, or the network's
//     broadcast address) and a multicast datagram reach every socket bound
//     to the port: each program gets every datagram;
//   - a unicast datagram (to 127.0.0.1 or the computer's address) reaches
//     one socket only, the one bound last. A sender that several programs
//     must hear has to broadcast or use a multicast group.
// With a multicast group, the socket joins it on the default interface and
// on the loopback interface (where a sender on the same computer puts it).
//
// Non-blocking and close-on-exec; the caller watches the descriptor.
#pragma once

#include <cstdint>
#include <string>

namespace datagram {

// The largest datagram read whole; a longer one is cut and counts as malformed.
constexpr std::size_t kMaxDatagramSize = 65536;

class UdpListener {
public:
    UdpListener() = default;
    ~UdpListener();
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    // Opens the socket on port, joining group when it is not empty (an IPv4
    // multicast address, 224.0.0.0 to 239.255.255.255). False, with the
    // reason in error, when it cannot.
    bool Open(std::uint16_t port, const std::string& group, std::string& error);
    void Close();
    int Fd() const { return fd_; }

    // Reads the next datagram waiting into buffer (resized to it). 1: one was
    // read; 0: none waits; -1: a receive error, with the reason in error.
    // truncated tells a datagram longer than kMaxDatagramSize.
    int Receive(std::string& buffer, bool& truncated, std::string& error);

private:
    int fd_ = -1;
};

// Whether text is an IPv4 multicast address.
bool IsMulticastGroup(const std::string& text);

} // namespace datagram
