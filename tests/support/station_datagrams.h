// Datagrams as station programs send them on the local network: a sender to
// a broadcast address or to a multicast group on the loopback interface, and
// the logger's RadioInfo document. POSIX only, no test framework.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

class DatagramSender {
public:
    DatagramSender();
    ~DatagramSender();
    DatagramSender(const DatagramSender&) = delete;
    DatagramSender& operator=(const DatagramSender&) = delete;

    // One datagram to an IPv4 address and port; true when it went whole.
    bool Send(const std::string& to, std::uint16_t port, const std::string& data) const;

private:
    int fd_;
};

// A logger's RadioInfo datagram for a radio: its frequency in tens of Hz as
// the logger writes it, and whether it transmits.
std::string RadioInfo(int radio, const std::string& tensOfHz, bool transmitting);

} // namespace testing_support
