#include "sim_support.h"

#include "station/com_port.h"

#include <thread>

namespace simtest {

void SimOverLink::TearDown() {
    unit.Port().Close();
    simulator.reset();
}

sim::Options SimOverLink::Quick() {
    sim::Options options;
    options.port = kPort;
    options.pace = false;
    options.unit.motionBaseMs = 800;
    options.unit.motionMsPerKhz = 0.0;
    options.unit.motionMaxMs = 800;
    return options;
}

void SimOverLink::Start(const sim::Options& options) {
    simulator = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
    OpenPort();
}

void SimOverLink::OpenPort() {
    ASSERT_EQ(koravel::OpenComPort(unit.Port(), kPort), 0);
    unit.SetExchangeEnabled(true);
}

std::uint8_t SimOverLink::Ask(std::uint8_t command, const Bytes& argument, int attempts,
                              int timeoutMs) {
    const unit::Reply reply = unit::Await(loop, [&](unit::ReplyHandler done) {
        unit.Transact(command, argument, true, attempts, timeoutMs, std::move(done));
    });
    lastPayload = reply.payload;
    return reply.status;
}

std::optional<koravel::StatusReply> SimOverLink::Status() {
    const std::uint8_t status = Ask(koravel::kCommandStatus);
    if (status != 0)
        return std::nullopt;
    // Transact leaves the payload and checksum; put back what it took.
    Bytes content{0, status};
    content.insert(content.end(), lastPayload.begin(), lastPayload.end());
    return koravel::DecodeStatusReply(content);
}

bool SimOverLink::WaitUntilAt(std::uint16_t khz, std::uint8_t direction) {
    const auto deadline = SteadyClock::now() + std::chrono::seconds(15);
    while (SteadyClock::now() < deadline) {
        auto s = Status();
        if (s && s->moving == 0 && s->freqKhz == khz && s->direction == direction)
            return true;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
}

std::optional<frame::Feed> SimOverLink::ReadFrame(frame::Receiver& receiver, std::size_t* bytesRead,
                                                  milliseconds wait) {
    const auto deadline = SteadyClock::now() + wait;
    while (SteadyClock::now() < deadline) {
        std::uint8_t b = 0;
        if (!unit.Port().ReadByte(b)) {
            std::this_thread::sleep_for(milliseconds(1));
            continue;
        }
        if (bytesRead != nullptr)
            ++*bytesRead;
        const frame::Feed feed = receiver.Push(b);
        if (feed != frame::Feed::Pending)
            return feed;
    }
    return std::nullopt;
}

} // namespace simtest
