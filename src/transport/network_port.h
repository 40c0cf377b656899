// The network kind of port: a raw TCP connection to a serial server (ser2net)
// that carries the unit's line both ways, byte for byte. Inside the transport
// layer only.
//
// The connection is made when the port opens (at most 3 s, then a round trip
// in which a server that turns it away says so). Once open, the port stays
// open whatever the network does: a connection that drops (the server
// restarted, the network gone) is noticed by the next read or write, and a
// new one is tried every 2 s, without waiting, from the layer's own calls,
// until the port is closed. Addresses are looked up once, at the open, and a
// name server gets the same 3 s to answer.
//
// A serial server that turns a connection away accepts it, writes a line of
// text ("Port already in use") and closes it. So the text that comes first
// on a new connection is held back and never read as the unit's: the unit
// speaks only in frames, whose start byte is no text. The first byte that is
// no text proves the connection and lets everything after it through; a
// connection that ends while it holds text only was turned away, and the
// text says why.
#pragma once

#include "protocol/bytes.h"
#include "transport/network_address.h"
#include "transport/port.h"

#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

namespace transport {

class NetworkConnection {
public:
    explicit NetworkConnection(koravel::NetworkAddress address);
    ~NetworkConnection();
    NetworkConnection(const NetworkConnection&) = delete;
    NetworkConnection& operator=(const NetworkConnection&) = delete;

    // Looks the host up and connects, waiting as the open does. 0, or the
    // error (see OpenPort).
    std::int32_t Open();
    // The descriptor the port shows as its handle: the same one through every
    // reconnection.
    int Handle() const { return handle_; }
    // Closes everything; 0 or the error of closing the handle.
    std::int32_t Close();

    // Notices a drop, finishes a connection attempt, starts one when due.
    void Service();
    // Discards what has been received.
    void Purge();
    // Received bytes that may be read.
    std::uint32_t Waiting();
    // Bytes written that the far end has not taken yet.
    std::uint32_t Unsent() const;
    // Takes up to size received bytes; the count taken.
    std::size_t Take(std::uint8_t* buffer, std::size_t size);
    // The descriptor to watch for input while connected; kNoHandle otherwise.
    int InputFd() const;
    // send(): the count taken, or -1 with errno (ENOTCONN while the
    // connection is down).
    ssize_t Write(koravel::ByteView bytes);
    bool WaitForInput(int ms);

    NetworkState State() const;

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Connected, Connecting, Down };

    void StartAttempt();
    void TryNextAddress();
    void CheckAttempt();
    void Connected(int fd);
    // The connection ended: error as read or write gave it.
    void Drop(std::int32_t error);
    // Reads what the socket holds into the input, up to its limit; with
    // discard, reads that many bytes (at most) and drops them.
    void Pump(std::size_t discard = 0);
    void Accept(const std::uint8_t* bytes, std::size_t count);
    std::int32_t SettleAfterOpen(Clock::duration connectTime);

    koravel::NetworkAddress address_;
    std::vector<sockaddr_storage> addresses_;
    std::vector<socklen_t> addressLengths_;
    Phase phase_ = Phase::Down;
    int handle_ = -1;  // the connection (a dead one while down)
    int pending_ = -1; // a connection attempt under way
    std::size_t nextAddress_ = 0;
    Clock::time_point attemptStarted_{};
    std::int32_t failure_ = 0;
    std::string serverText_;
    // The current connection has shown a byte that is no text.
    bool proven_ = false;
    std::string held_;
    koravel::Bytes input_;
    std::size_t readAt_ = 0;
};

} // namespace transport
