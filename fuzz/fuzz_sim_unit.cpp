// The simulated unit's request handling over arbitrary requests and time
// steps.
//
// Input: nine bytes of start state (firmware, frequency, direction, flags,
// motion speed, start time), then records: a time step byte, a length byte
// and that many bytes of request content (the checksum is added here, as
// the unit only sees intact frames).
// Checked, request by request:
//  - a request of fewer than two bytes before its checksum gets no reply;
//    any other reply echoes the sequence byte, holds at most 255 bytes and
//    comes back through the frame codec intact;
//  - status (1) answers 12 bytes with the firmware and flags it was given;
//    retract (2) and tune (3, two or three argument bytes) answer done;
//    write block (4, two bytes or more) stores exactly the argument's
//    block bytes; a wrong argument answers 2 and an unknown command 1, and
//    neither changes anything;
//  - the elements only ever stand at a frequency they were ordered to (or
//    started at), keep the direction last ordered, have arrived once the
//    longest motion time has passed since the last order, and once at rest
//    stay there however much time passes;
//  - the EEPROM holds exactly the blocks written, after every write and at
//    the end.
#include "fuzz_check.h"

#include "protocol/frame.h"
#include "protocol/status_reply.h"
#include "sim/unit.h"

#include <chrono>
#include <map>
#include <optional>
#include <set>

namespace {

using koravel::Bytes;
using koravel::ByteView;
using sim::Clock;

struct Motion {
    int baseMs;
    double msPerKhz;
    int maxMs;
};
constexpr Motion kMotions[] = {{300, 0.1, 4000}, {0, 0.0, 0},  {1, 10.0, 60000}, {5000, 0.0, 100},
                               {-5, -1.0, 250},  {20, 1e9, 3}, {0, 0.5, -10},    {10, 0.001, 10}};

bool SameState(const sim::UnitState& a, const sim::UnitState& b) {
    return a.frequencyKhz == b.frequencyKhz && a.direction == b.direction && a.flags == b.flags &&
           a.fwMajor == b.fwMajor && a.fwMinor == b.fwMinor && a.moving == b.moving &&
           a.targetKhz == b.targetKhz && a.targetDirection == b.targetDirection &&
           a.arrival == b.arrival;
}

Clock::duration Step(std::uint8_t b) {
    using namespace std::chrono;
    if (b < 200)
        return milliseconds(b * 10); // 0 to 1990 ms, as the poll sees it
    if (b < 250)
        return seconds(b - 199);
    if (b < 255)
        return nanoseconds(b - 249); // the boundaries of an arrival
    return hours(1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9)
        return 0;
    sim::UnitConfig config;
    config.fwMajor = data[0];
    config.fwMinor = data[1];
    config.startFrequencyKhz = static_cast<std::uint16_t>(data[2] | data[3] << 8);
    config.startDirection = data[4];
    config.flags = static_cast<std::uint16_t>(data[5] | data[6] << 8);
    const Motion& motion = kMotions[data[7] % std::size(kMotions)];
    config.motionBaseMs = motion.baseMs;
    config.motionMsPerKhz = motion.msPerKhz;
    config.motionMaxMs = motion.maxMs;
    // Start before, at or after the clock's epoch (which a motion never
    // ends at).
    Clock::time_point now =
        Clock::time_point{} + std::chrono::seconds(static_cast<std::int8_t>(data[8]) / 32);

    sim::Unit unit(config);
    const auto longest = std::chrono::milliseconds(std::max(0, config.motionMaxMs));
    FUZZ_CHECK(unit.MotionTime(0, 65535) <= longest);
    FUZZ_CHECK(unit.MotionTime(0, 65535) >= Clock::duration::zero());
    FUZZ_CHECK(unit.MotionTime(123, 4567) == unit.MotionTime(4567, 123));

    std::set<std::uint16_t> ordered{config.startFrequencyKhz};
    std::uint16_t lastTarget = config.startFrequencyKhz;
    std::uint8_t lastDirection = config.startDirection;
    std::optional<Clock::time_point> lastOrder;
    std::map<int, Bytes> eeprom;
    bool atRest = false;
    frame::Receiver rx;

    std::size_t pos = 9;
    while (pos + 2 <= size) {
        now += Step(data[pos]);
        const std::size_t length = std::min<std::size_t>(data[pos + 1], size - pos - 2);
        Bytes request;
        request.reserve(std::min(length, frame::kMaxContent) + 1);
        request.assign(data + pos + 2, data + pos + 2 + std::min(length, frame::kMaxContent));
        pos += 2 + length;
        request.push_back(frame::Checksum(request));

        unit.Advance(now);
        const sim::UnitState before = unit.State();
        // Elements at rest stay at rest, however much time passes.
        if (atRest)
            FUZZ_CHECK(!before.moving && before.frequencyKhz == lastTarget);
        const std::size_t writesBefore = unit.BlockWrites();
        const std::optional<Bytes> reply = unit.Respond(request, now);
        const sim::UnitState& after = unit.State();

        if (request.size() < 3) {
            FUZZ_CHECK(!reply);
            FUZZ_CHECK(SameState(before, after));
            continue;
        }
        FUZZ_CHECK(reply && reply->size() >= 2 && reply->size() <= frame::kMaxContent);
        FUZZ_CHECK((*reply)[0] == request[0]);
        const std::uint8_t status = (*reply)[1];
        const ByteView argument = ByteView(request).subspan(2, request.size() - 3);

        // The reply as the program receives it (one receiver for the whole
        // run, as the program keeps one).
        int frames = 0;
        for (std::uint8_t b : frame::Encode(*reply))
            if (rx.Push(b) == frame::Feed::Frame)
                ++frames;
        FUZZ_CHECK(frames == 1 && rx.buffer == frame::WithChecksum(*reply));

        bool changes = false;
        switch (request[1]) {
        case koravel::kCommandStatus: {
            FUZZ_CHECK(reply->size() == koravel::kStatusBodySize && status == sim::kStatusDone);
            const auto decoded = koravel::DecodeStatusReply(rx.buffer);
            FUZZ_CHECK(decoded.has_value());
            FUZZ_CHECK(decoded->fwMajor == config.fwMajor && decoded->fwMinor == config.fwMinor);
            FUZZ_CHECK(decoded->flags == config.flags);
            FUZZ_CHECK(decoded->moving == (after.moving ? 1 : 0));
            FUZZ_CHECK(decoded->freqKhz == after.frequencyKhz);
            FUZZ_CHECK(decoded->direction == after.direction);
            break;
        }
        case koravel::kCommandRetract:
            FUZZ_CHECK(reply->size() == 2 && status == sim::kStatusDone);
            lastTarget = 0;
            ordered.insert(0);
            lastOrder = now;
            changes = true;
            break;
        case koravel::kCommandTune:
            FUZZ_CHECK(reply->size() == 2);
            if (argument.size() == 2 || argument.size() == 3) {
                FUZZ_CHECK(status == sim::kStatusDone);
                lastTarget = static_cast<std::uint16_t>(argument[0] | argument[1] << 8);
                if (argument.size() == 3)
                    lastDirection = argument[2];
                ordered.insert(lastTarget);
                lastOrder = now;
                changes = true;
            } else {
                FUZZ_CHECK(status == sim::kStatusBadArgument);
            }
            break;
        case koravel::kCommandWriteBlock:
            FUZZ_CHECK(reply->size() == 2);
            if (argument.size() >= 2) {
                FUZZ_CHECK(status == sim::kStatusDone);
                eeprom[argument[0] | argument[1] << 8] =
                    Bytes(argument.begin() + 2, argument.end());
                FUZZ_CHECK(unit.BlockWrites() == writesBefore + 1);
                FUZZ_CHECK(unit.Eeprom() == eeprom);
            } else {
                FUZZ_CHECK(status == sim::kStatusBadArgument);
            }
            break;
        default:
            FUZZ_CHECK(reply->size() == 2 && status == sim::kStatusUnknownCommand);
            break;
        }
        // Other commands leave the EEPROM alone: the count of writes here,
        // its contents at the end.
        if (request[1] != koravel::kCommandWriteBlock)
            FUZZ_CHECK(unit.BlockWrites() == writesBefore);
        if (!changes)
            FUZZ_CHECK(SameState(before, after));

        // Where the elements are.
        FUZZ_CHECK(after.fwMajor == config.fwMajor && after.fwMinor == config.fwMinor);
        FUZZ_CHECK(after.flags == config.flags);
        FUZZ_CHECK(ordered.count(after.frequencyKhz) == 1);
        FUZZ_CHECK(after.targetKhz == lastTarget);
        FUZZ_CHECK(after.targetDirection == lastDirection);
        if (!after.moving)
            FUZZ_CHECK(after.frequencyKhz == lastTarget && after.direction == lastDirection);
        if (lastOrder && after.moving) {
            // Never later than the longest motion time (a nanosecond more
            // when the end would fall on the clock's epoch).
            FUZZ_CHECK(after.arrival <= *lastOrder + longest + std::chrono::nanoseconds(1));
            sim::Unit probe = unit;
            probe.Advance(*lastOrder + longest + std::chrono::nanoseconds(1));
            FUZZ_CHECK(!probe.State().moving && probe.State().frequencyKhz == lastTarget);
        }
        atRest = !after.moving;
    }
    FUZZ_CHECK(unit.Eeprom() == eeprom);
    return 0;
}
