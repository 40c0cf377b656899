// One UDP port of the station datagrams, watched on the thread of the CAT
// back end's owner with a socket notifier: no thread and no polling; a
// datagram is handed on as soon as it arrives. Rigs that follow sources on
// the same port and group share one port object, so each of them sees every
// datagram whatever the sender's addressing (datagram/udp_listener.h tells
// what other programs on the computer get).
#pragma once

#include "datagram/udp_listener.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;

namespace cat {

class DatagramPort : public QObject {
public:
    // Called for each datagram read (truncated: longer than the largest read
    // whole), and for a receive error with its reason.
    struct Receiver {
        std::function<void(std::string_view datagram, bool truncated)> datagram;
        std::function<void(const std::string& error)> failed;
    };

    DatagramPort(std::uint16_t port, std::string group, QObject* parent);
    ~DatagramPort() override;

    // Opens the socket; false, with the reason in Error(), when it cannot.
    bool Open();
    const std::string& Error() const { return error_; }
    std::uint16_t Port() const { return port_; }
    const std::string& Group() const { return group_; }

    void AddReceiver(Receiver receiver);

private:
    void ReadWaiting();

    std::uint16_t port_;
    std::string group_;
    std::string error_;
    datagram::UdpListener listener_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<Receiver> receivers_;
    std::string buffer_;
};

} // namespace cat
