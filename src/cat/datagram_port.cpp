#include "cat/datagram_port.h"

#include <QSocketNotifier>

namespace cat {

namespace {

// Datagrams read in one go before the event loop gets its turn again; the
// notifier fires again while more wait.
constexpr int kReadsPerWake = 64;

} // namespace

DatagramPort::DatagramPort(std::uint16_t port, std::string group, QObject* parent)
    : QObject(parent), port_(port), group_(std::move(group)) {}

DatagramPort::~DatagramPort() = default;

bool DatagramPort::Open() {
    if (!listener_.Open(port_, group_, error_))
        return false;
    notifier_ = new QSocketNotifier(listener_.Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadWaiting(); });
    return true;
}

void DatagramPort::AddReceiver(Receiver receiver) {
    receivers_.push_back(std::move(receiver));
}

void DatagramPort::ReadWaiting() {
    for (int i = 0; i < kReadsPerWake; ++i) {
        bool truncated = false;
        std::string error;
        const int got = listener_.Receive(buffer_, truncated, error);
        if (got == 0)
            return;
        for (const Receiver& receiver : receivers_) {
            if (got > 0)
                receiver.datagram(buffer_, truncated);
            else
                receiver.failed(error);
        }
        if (got < 0)
            return;
    }
}

} // namespace cat
