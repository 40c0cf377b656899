#include "sim/unit.h"

#include "protocol/status_reply.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sim {

Unit::Unit(const UnitConfig& config) : config_(config) {
    state_.frequencyKhz = config.startFrequencyKhz;
    state_.direction = config.startDirection;
    state_.flags = config.flags;
    state_.fwMajor = config.fwMajor;
    state_.fwMinor = config.fwMinor;
    state_.targetKhz = config.startFrequencyKhz;
    state_.targetDirection = config.startDirection;
}

Clock::duration Unit::MotionTime(std::uint16_t fromKhz, std::uint16_t toKhz) const {
    const int change = std::abs(static_cast<int>(toKhz) - static_cast<int>(fromKhz));
    double ms = std::max(0, config_.motionBaseMs) + std::max(0.0, config_.motionMsPerKhz) * change;
    ms = std::min(ms, static_cast<double>(std::max(0, config_.motionMaxMs)));
    return std::chrono::microseconds(static_cast<long long>(std::llround(ms * 1000.0)));
}

void Unit::StartMotion(std::uint16_t targetKhz, std::uint8_t direction, Clock::time_point now) {
    // A new order while the elements travel starts from where the unit
    // still reports them.
    state_.moving = true;
    state_.targetKhz = targetKhz;
    state_.targetDirection = direction;
    state_.arrival = now + MotionTime(state_.frequencyKhz, targetKhz);
    if (state_.arrival == Clock::time_point{})
        state_.arrival += std::chrono::nanoseconds(1); // the epoch means "no end"
}

void Unit::Advance(Clock::time_point now) {
    if (!state_.moving || state_.arrival == Clock::time_point{} || now < state_.arrival)
        return;
    state_.frequencyKhz = state_.targetKhz;
    state_.direction = state_.targetDirection;
    state_.moving = false;
    state_.arrival = Clock::time_point{};
}

koravel::Bytes Unit::StatusBody(std::uint8_t sequence) const {
    koravel::StatusReply reply;
    reply.sequence = sequence;
    reply.result = kStatusDone;
    reply.fwMinor = state_.fwMinor;
    reply.fwMajor = state_.fwMajor;
    reply.freqKhz = state_.frequencyKhz;
    reply.direction = state_.direction;
    reply.flags = state_.flags;
    reply.moving = state_.moving ? 1 : 0;
    return koravel::EncodeStatusBody(reply);
}

std::uint8_t Unit::Tune(koravel::ByteView argument, Clock::time_point now) {
    if (argument.size() != 2 && argument.size() != 3)
        return kStatusBadArgument;
    const auto khz = static_cast<std::uint16_t>(argument[0] | (argument[1] << 8));
    // Without a direction byte the beam keeps the direction last ordered.
    std::uint8_t direction = state_.moving ? state_.targetDirection : state_.direction;
    if (argument.size() == 3)
        direction = argument[2];
    StartMotion(khz, direction, now);
    return kStatusDone;
}

std::uint8_t Unit::WriteBlock(koravel::ByteView argument) {
    if (argument.size() < 2)
        return kStatusBadArgument;
    const int block = argument[0] | (argument[1] << 8);
    auto refused = refused_.find(block);
    if (refused != refused_.end() && refused->second != kStatusDone)
        return refused->second;
    eeprom_[block] = koravel::Bytes(argument.begin() + 2, argument.end());
    ++blockWrites_;
    return kStatusDone;
}

std::optional<koravel::Bytes> Unit::Respond(koravel::ByteView request, Clock::time_point now) {
    if (request.size() < 3)
        return std::nullopt;
    Advance(now);
    const std::uint8_t sequence = request[0];
    const std::uint8_t command = request[1];
    const koravel::ByteView argument = request.subspan(2, request.size() - 3);

    switch (command) {
    case koravel::kCommandStatus:
        return StatusBody(sequence);
    case koravel::kCommandRetract: {
        const std::uint8_t direction = state_.moving ? state_.targetDirection : state_.direction;
        StartMotion(0, direction, now);
        return koravel::Bytes{sequence, kStatusDone};
    }
    case koravel::kCommandTune:
        return koravel::Bytes{sequence, Tune(argument, now)};
    case koravel::kCommandWriteBlock:
        return koravel::Bytes{sequence, WriteBlock(argument)};
    default:
        return koravel::Bytes{sequence, kStatusUnknownCommand};
    }
}

} // namespace sim
