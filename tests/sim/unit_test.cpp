// The unit's answers and its motion, with time handed in: no I/O, no clock.
#include "protocol/frame.h"
#include "sim/unit.h"

#include <gtest/gtest.h>

using koravel::Bytes;
using sim::Clock;
using std::chrono::milliseconds;

namespace {

Bytes Request(std::uint8_t sequence, std::uint8_t command, Bytes argument = {}) {
    Bytes content{sequence, command};
    content.insert(content.end(), argument.begin(), argument.end());
    return frame::WithChecksum(content);
}

const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);

} // namespace

TEST(Unit, StatusReplyCarriesTheBodyFieldsAtTheirOffsets) {
    sim::UnitConfig config;
    config.fwMajor = 1;
    config.fwMinor = 13;
    config.startFrequencyKhz = 0xC3B4; // 50100
    config.startDirection = 2;
    config.flags = 0x0102;
    sim::Unit unit(config);

    auto reply = unit.Respond(Request(0x8D, 1), t0);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, (Bytes{0x8D, 0x00, 13, 1, 0, 0xB4, 0xC3, 0, 2, 0x02, 0x01, 0}));
    // An argument to the status request changes nothing.
    EXPECT_EQ(unit.Respond(Request(0x05, 1, {1, 2, 3}), t0)->size(), 12u);
}

TEST(Unit, TuneMovesForATimeThatGrowsWithTheChangeThenReportsTheNewFrequency) {
    sim::UnitConfig config; // 300 ms + 0.1 ms per kHz, at most 4000 ms
    config.startFrequencyKhz = 7050;
    sim::Unit unit(config);
    EXPECT_EQ(unit.MotionTime(7050, 14200), milliseconds(300 + 715));
    EXPECT_EQ(unit.MotionTime(14200, 7050), milliseconds(300 + 715));
    EXPECT_EQ(unit.MotionTime(0, 65535), milliseconds(4000));
    EXPECT_EQ(unit.MotionTime(100, 100), milliseconds(300));

    EXPECT_EQ(*unit.Respond(Request(0x81, 3, {0x78, 0x37}), t0), (Bytes{0x81, 0}));
    auto during = unit.Respond(Request(0x02, 1), t0 + milliseconds(1014));
    EXPECT_EQ((*during)[11], 1) << "moving";
    EXPECT_EQ((*during)[5] | ((*during)[6] << 8), 7050) << "old frequency while moving";
    auto after = unit.Respond(Request(0x03, 1), t0 + milliseconds(1015));
    EXPECT_EQ((*after)[11], 0);
    EXPECT_EQ((*after)[5] | ((*after)[6] << 8), 14200);
    EXPECT_EQ((*after)[8], 0) << "direction unchanged without a direction byte";
}

TEST(Unit, DirectionByteIsTakenAndKeptByLaterTunesAndRetract) {
    sim::Unit unit(sim::UnitConfig{});
    unit.Respond(Request(0x81, 3, {0x10, 0x27, 1}), t0); // 10000 kHz, reversed
    unit.Advance(t0 + milliseconds(5000));
    EXPECT_EQ(unit.State().frequencyKhz, 10000);
    EXPECT_EQ(unit.State().direction, 1);

    // A plain tune while a direction change is under way keeps the new direction.
    unit.Respond(Request(0x82, 3, {0x10, 0x27, 2}), t0 + milliseconds(6000));
    unit.Respond(Request(0x83, 3, {0x20, 0x4E}), t0 + milliseconds(6001));
    unit.Advance(t0 + milliseconds(20000));
    EXPECT_EQ(unit.State().frequencyKhz, 20000);
    EXPECT_EQ(unit.State().direction, 2);

    EXPECT_EQ(*unit.Respond(Request(0x84, 2), t0 + milliseconds(21000)), (Bytes{0x84, 0}));
    EXPECT_TRUE(unit.State().moving);
    unit.Advance(t0 + milliseconds(21000) + unit.MotionTime(20000, 0));
    EXPECT_FALSE(unit.State().moving);
    EXPECT_EQ(unit.State().frequencyKhz, 0);
    EXPECT_EQ(unit.State().direction, 2);
}

TEST(Unit, BlockWritesAreStoredRefusedOrRejected) {
    sim::Unit unit(sim::UnitConfig{});
    unit.RefusedBlocks()[5] = sim::kStatusBlockRefused;

    EXPECT_EQ(*unit.Respond(Request(0x81, 4, {0x03, 0x00, 0xF5, 0x00, 0xFA}), t0),
              (Bytes{0x81, 0}));
    EXPECT_EQ(*unit.Respond(Request(0x82, 4, {0x45, 0x01}), t0), (Bytes{0x82, 0}));
    EXPECT_EQ(*unit.Respond(Request(0x83, 4, {0x05, 0x00, 0x01}), t0),
              (Bytes{0x83, sim::kStatusBlockRefused}));
    EXPECT_EQ(*unit.Respond(Request(0x84, 4, {0x07}), t0), (Bytes{0x84, sim::kStatusBadArgument}));
    EXPECT_EQ(*unit.Respond(Request(0x85, 4, {0x03, 0x00, 0x09}), t0), (Bytes{0x85, 0}));

    const std::map<int, Bytes> expected{{3, {0x09}}, {0x145, {}}};
    EXPECT_EQ(unit.Eeprom(), expected);
    EXPECT_EQ(unit.BlockWrites(), 3u);
}

TEST(Unit, OtherRequestsGetANonZeroStatusOrNoAnswer) {
    sim::Unit unit(sim::UnitConfig{});
    EXPECT_EQ(*unit.Respond(Request(0x81, 9), t0), (Bytes{0x81, sim::kStatusUnknownCommand}));
    EXPECT_EQ(*unit.Respond(Request(0x82, 0), t0), (Bytes{0x82, sim::kStatusUnknownCommand}));
    EXPECT_EQ(*unit.Respond(Request(0x83, 3, {0x10}), t0), (Bytes{0x83, sim::kStatusBadArgument}));
    EXPECT_EQ(*unit.Respond(Request(0x84, 3, {1, 2, 3, 4}), t0),
              (Bytes{0x84, sim::kStatusBadArgument}));
    EXPECT_FALSE(unit.State().moving) << "a refused tune moves nothing";
    EXPECT_FALSE(unit.Respond(Bytes{0x81, 0xD5}, t0)) << "sequence and checksum only";
    EXPECT_FALSE(unit.Respond(Bytes{}, t0));
}

TEST(Unit, MotionSetByHandWithoutAnArrivalGoesOnUntilChanged) {
    sim::Unit unit(sim::UnitConfig{});
    unit.State().moving = true;
    unit.State().frequencyKhz = 65535;
    unit.Advance(t0 + std::chrono::hours(100));
    EXPECT_TRUE(unit.State().moving);
    EXPECT_EQ(unit.State().frequencyKhz, 65535);
}
