// The simulator's answers to each command, end to end over a pseudo-terminal
// through the program's own serial layer and exchange.
#include "sim/eeprom_file.h"
#include "sim_support.h"

#include <fstream>
#include <sstream>

using namespace simtest;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST_F(SimOverLink, StatusReplyReportsFirmwareFrequencyDirectionFlagsAndMoving) {
    sim::Options options = Quick();
    options.unit.fwMajor = 2;
    options.unit.fwMinor = 5;
    options.unit.startFrequencyKhz = 28500;
    Start(options);

    auto first = Status();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->result, 0);
    EXPECT_EQ(first->FirmwareVersion(), 2 * 256 + 5);
    EXPECT_EQ(first->freqKhz, 28500);
    EXPECT_EQ(first->direction, 0);
    EXPECT_EQ(first->flags, 0);
    EXPECT_EQ(first->moving, 0);
    EXPECT_EQ(lastPayload.size(), 11u) << "ten payload bytes and the checksum";

    simulator->Modify([](sim::UnitState& s) {
        s.frequencyKhz = 65535;
        s.flags = 0x0100;
        s.direction = 2;
        s.moving = true;
    });
    auto changed = Status();
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->freqKhz, 65535);
    EXPECT_EQ(changed->flags, 0x0100);
    EXPECT_EQ(changed->direction, 2);
    EXPECT_NE(changed->moving, 0);
}

TEST_F(SimOverLink, TuneDirectionAndRetractMoveThenReportTheNewState) {
    sim::Options options = Quick();
    options.unit.startFrequencyKhz = 7050;
    Start(options);

    ASSERT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(14200)), 0);
    auto moving = Status();
    ASSERT_TRUE(moving);
    EXPECT_NE(moving->moving, 0);
    EXPECT_EQ(moving->freqKhz, 7050) << "the old frequency while the elements travel";
    EXPECT_TRUE(WaitUntilAt(14200, 0));

    ASSERT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(14200, 2)), 0);
    EXPECT_TRUE(WaitUntilAt(14200, 2));

    ASSERT_EQ(Ask(koravel::kCommandRetract), 0);
    auto retracting = Status();
    ASSERT_TRUE(retracting);
    EXPECT_NE(retracting->moving, 0);
    EXPECT_TRUE(WaitUntilAt(0, 2));
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandTune), 2u);
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandRetract), 1u);
}

TEST_F(SimOverLink, BlockWritesFillTheEepromImageAndItsFile) {
    sim::Options options = Quick();
    options.eepromFile = config.path() + "/eeprom.txt";
    Start(options);
    EXPECT_EQ(ReadFile(options.eepromFile), "") << "the image starts empty";

    // Block 10 holds the three byte values that travel escaped.
    ASSERT_EQ(Ask(koravel::kCommandWriteBlock, {10, 0, 0x01, 0xF5, 0xFA, 0xF6}), 0);
    ASSERT_EQ(Ask(koravel::kCommandWriteBlock, {3, 0, 0xAB, 0x00}), 0);
    EXPECT_EQ(ReadFile(options.eepromFile), "3 AB00\n10 01F5FAF6\n");
    ASSERT_EQ(Ask(koravel::kCommandWriteBlock, {10, 0, 0x02}), 0);
    EXPECT_EQ(ReadFile(options.eepromFile), "3 AB00\n10 02\n");

    // The largest request content: 255 bytes before the checksum.
    Bytes largest{0x45, 0x00};
    for (int i = 0; i < 251; ++i)
        largest.push_back(static_cast<std::uint8_t>(i));
    ASSERT_EQ(Ask(koravel::kCommandWriteBlock, largest), 0);

    const auto eeprom = simulator->Eeprom();
    ASSERT_EQ(eeprom.size(), 3u);
    EXPECT_EQ(eeprom.at(10), (Bytes{0x02}));
    EXPECT_EQ(eeprom.at(0x45).size(), 251u);
    EXPECT_EQ(ReadFile(options.eepromFile), sim::EepromText(eeprom));
    EXPECT_EQ(simulator->State().blockWrites, 4u);
}

TEST_F(SimOverLink, MalformedAndUnknownRequestsGetANonZeroStatus) {
    Start(Quick());
    EXPECT_EQ(Ask(9), sim::kStatusUnknownCommand);
    EXPECT_EQ(Ask(koravel::kCommandWriteBlock, {7}), sim::kStatusBadArgument);
    EXPECT_EQ(Ask(koravel::kCommandTune, {0x10}), sim::kStatusBadArgument);
    EXPECT_EQ(Ask(koravel::kCommandTune, {0x10, 0x27, 0, 0}), sim::kStatusBadArgument);
    EXPECT_FALSE(simulator->State().state.moving);
    EXPECT_TRUE(simulator->Eeprom().empty());
}

TEST_F(SimOverLink, TraceHoldsEveryFrameBothWays) {
    sim::Options options = Quick();
    options.traceFile = config.path() + "/trace.txt";
    options.unit.startFrequencyKhz = 14200;
    Start(options);

    ASSERT_EQ(Ask(koravel::kCommandStatus), 0); // the first sequence byte: 13 with bit 7
    ASSERT_EQ(Ask(koravel::kCommandTune, {0x78, 0x37}), 0);

    std::string expected;
    expected += "rx " + koravel::HexPacked(frame::WithChecksum(Bytes{0x8D, 0x01})) + "\n";
    expected += "tx " +
                koravel::HexPacked(
                    frame::WithChecksum(Bytes{0x8D, 0x00, 13, 1, 0, 0x78, 0x37, 0, 0, 0, 0, 0})) +
                "\n";
    expected +=
        "rx " + koravel::HexPacked(frame::WithChecksum(Bytes{0x8E, 0x03, 0x78, 0x37})) + "\n";
    expected += "tx " + koravel::HexPacked(frame::WithChecksum(Bytes{0x8E, 0x00})) + "\n";
    simulator.reset(); // flushes and closes the trace
    EXPECT_EQ(ReadFile(options.traceFile), expected);
}

TEST_F(SimOverLink, ResponderAnswersInPlaceOfTheUnit) {
    Start(Quick());
    simulator->SetResponder([](const Bytes& request) -> std::optional<Bytes> {
        if (request[1] == 7) {
            // A frame for another request first: Transact must skip it.
            Bytes wire = frame::Encode(Bytes{static_cast<std::uint8_t>(request[0] ^ 1), 0});
            Bytes mine = frame::Encode(Bytes{request[0], 0x42});
            wire.insert(wire.end(), mine.begin(), mine.end());
            return wire;
        }
        if (request[1] == 8)
            return Bytes{}; // silence
        return std::nullopt;
    });
    EXPECT_EQ(Ask(7), 0x42);
    EXPECT_EQ(Ask(8, {}, 2, 100), unit::kNoReply);
    EXPECT_EQ(simulator->RequestCount(8), 2u);
    EXPECT_EQ(Ask(9), sim::kStatusUnknownCommand) << "the unit answers what the hook leaves";
}
