#include "support/station_datagrams.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

DatagramSender::DatagramSender() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
}

DatagramSender::~DatagramSender() {
    ::close(fd_);
}

bool DatagramSender::Send(const std::string& to, std::uint16_t port,
                          const std::string& data) const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, to.c_str(), &address.sin_addr);
    return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                    sizeof address) == static_cast<ssize_t>(data.size());
}

std::string RadioInfo(int radio, const std::string& tensOfHz, bool transmitting) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<RadioInfo>\r\n  <app>N1MM</app>\r\n"
           "  <RadioNr>" +
           std::to_string(radio) + "</RadioNr>\r\n  <Freq>" + tensOfHz + "</Freq>\r\n  <TXFreq>" +
           tensOfHz + "</TXFreq>\r\n  <IsTransmitting>" + (transmitting ? "True" : "False") +
           "</IsTransmitting>\r\n  <ActiveRadioNr>1</ActiveRadioNr>\r\n</RadioInfo>\r\n";
}

} // namespace testing_support
