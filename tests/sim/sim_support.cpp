#include "sim_support.h"

#include <thread>

namespace simtest {

void SimOverLink::SetUp() {
    exchange::ResetExchange();
    exchange::ExchangeEnabled = true;
    exchange::ExchangeHooks = {};
    nextTick = SteadyClock::now() + milliseconds(exchange::kTickMs);
    exchange::ExchangeHooks.ProcessMessages = [this] {
        // The window's 50 ms tick, played when its time has come.
        const auto now = SteadyClock::now();
        if (now >= nextTick) {
            exchange::TimerTick();
            nextTick += milliseconds(exchange::kTickMs);
            if (nextTick < now)
                nextTick = now + milliseconds(exchange::kTickMs);
        }
    };
}

void SimOverLink::TearDown() {
    comm32::ClosePort();
    simulator.reset();
    exchange::ExchangeHooks = {};
    exchange::ResetExchange();
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
    ASSERT_EQ(comm32::OpenPort("bio" + std::to_string(kPort)), 0);
    ASSERT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
}

std::uint8_t SimOverLink::Ask(std::uint8_t command, const Bytes& argument, int attempts,
                              int timeoutMs) {
    return exchange::Transact(command, argument, true, attempts, timeoutMs);
}

std::optional<koravel::StatusReply> SimOverLink::Status() {
    const std::uint8_t status = Ask(koravel::kCommandStatus);
    if (status != 0)
        return std::nullopt;
    // Transact leaves the payload and checksum; put back what it took.
    Bytes content{0, status};
    content.insert(content.end(), exchange::ReplyBuffer.begin(), exchange::ReplyBuffer.end());
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
        if (!comm32::ReadByte(b)) {
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
