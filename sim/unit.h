// The control unit's behaviour without any I/O: request content in, reply
// content out, with the elements' motion driven by the time passed in.
#pragma once

#include "protocol/bytes.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

namespace sim {

using Clock = std::chrono::steady_clock;

// Status bytes of the unit's replies.
constexpr std::uint8_t kStatusDone = 0;
constexpr std::uint8_t kStatusUnknownCommand = 1;
constexpr std::uint8_t kStatusBadArgument = 2;
constexpr std::uint8_t kStatusBlockRefused = 3;

struct UnitConfig {
    std::uint8_t fwMajor = 1;
    std::uint8_t fwMinor = 13;
    std::uint16_t startFrequencyKhz = 0; // 0: elements retracted
    std::uint8_t startDirection = 0;
    std::uint16_t flags = 0;
    // Motion time: base plus a share per kHz of change, capped.
    int motionBaseMs = 300;
    double motionMsPerKhz = 0.1;
    int motionMaxMs = 4000;
};

struct UnitState {
    std::uint16_t frequencyKhz = 0;
    std::uint8_t direction = 0;
    std::uint16_t flags = 0;
    std::uint8_t fwMajor = 1;
    std::uint8_t fwMinor = 13;
    // Motion in progress: the target and when it is reached. A motion whose
    // arrival is the clock's epoch (as when a test sets moving by hand) goes
    // on until the state is changed again.
    bool moving = false;
    std::uint16_t targetKhz = 0;
    std::uint8_t targetDirection = 0;
    Clock::time_point arrival{};
};

// What a test sees of the unit.
struct UnitSnapshot {
    UnitState state;
    std::size_t blockWrites = 0;
};

class Unit {
public:
    explicit Unit(const UnitConfig& config);

    // Answers one request (content with checksum, already checked). Returns
    // the reply content without its checksum, or nullopt when the request is
    // too short to answer (fewer than two bytes before the checksum).
    std::optional<koravel::Bytes> Respond(koravel::ByteView request, Clock::time_point now);
    // Completes a motion whose time has come.
    void Advance(Clock::time_point now);

    UnitState& State() { return state_; }
    const UnitState& State() const { return state_; }
    const std::map<int, koravel::Bytes>& Eeprom() const { return eeprom_; }
    std::size_t BlockWrites() const { return blockWrites_; }
    // Status byte for the next write of a block, other than 0 to refuse it.
    std::map<int, std::uint8_t>& RefusedBlocks() { return refused_; }
    // How long the elements take to travel between two frequencies.
    Clock::duration MotionTime(std::uint16_t fromKhz, std::uint16_t toKhz) const;

private:
    void StartMotion(std::uint16_t targetKhz, std::uint8_t direction, Clock::time_point now);
    koravel::Bytes StatusBody(std::uint8_t sequence) const;
    std::uint8_t Tune(koravel::ByteView argument, Clock::time_point now);
    std::uint8_t WriteBlock(koravel::ByteView argument);

    UnitConfig config_;
    UnitState state_;
    std::map<int, koravel::Bytes> eeprom_;
    std::map<int, std::uint8_t> refused_;
    std::size_t blockWrites_ = 0;
};

} // namespace sim
