// Misbehaviour on request: lost requests, corrupt replies, refused blocks,
// late replies and noise on the line.
#include "sim_support.h"

#include <thread>

using namespace simtest;

TEST_F(SimOverLink, DroppedRequestsAreNeverAnsweredNorCarriedOut) {
    sim::Options options = Quick();
    options.faults.drop = 1.0;
    Start(options);

    EXPECT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(14200), 4, 100), unit::kNoReply);
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandTune), 4u) << "four sends seen";
    EXPECT_FALSE(simulator->State().state.moving);

    simulator->SetFaults(sim::Faults{});
    EXPECT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(14200)), 0);
    EXPECT_TRUE(simulator->State().state.moving);
}

TEST_F(SimOverLink, CorruptRepliesFailTheChecksumWhileTheUnitActs) {
    sim::Options options = Quick();
    options.faults.corrupt = 1.0;
    Start(options);

    // Read by hand: the reply frame arrives whole and is rejected.
    SendFrame(Bytes{0x81, koravel::kCommandTune, 0x78, 0x37});
    frame::Receiver receiver;
    EXPECT_EQ(ReadFrame(receiver), frame::Feed::Rejected);
    EXPECT_EQ(receiver.buffer.size(), 3u) << "sequence, status, checksum";
    EXPECT_EQ(receiver.buffer[0], 0x81);
    EXPECT_EQ(simulator->State().state.targetKhz, 14200) << "the unit carried the order out";

    EXPECT_EQ(Ask(koravel::kCommandStatus, {}, 4, 100), unit::kNoReply);
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandStatus), 4u);
}

TEST_F(SimOverLink, FailBlockRefusesOnlyThatBlockAndCanBeLifted) {
    sim::Options options = Quick();
    options.faults.failBlocks = {5, 40};
    Start(options);

    EXPECT_EQ(Ask(koravel::kCommandWriteBlock, {5, 0, 1, 2}), sim::kStatusBlockRefused);
    EXPECT_EQ(Ask(koravel::kCommandWriteBlock, {40, 0, 1}), sim::kStatusBlockRefused);
    EXPECT_EQ(Ask(koravel::kCommandWriteBlock, {6, 0, 1, 2}), 0);
    EXPECT_EQ(simulator->Eeprom().count(5), 0u);
    EXPECT_EQ(simulator->Eeprom().count(6), 1u);

    sim::Faults fewer;
    fewer.failBlocks = {40};
    simulator->SetFaults(fewer);
    EXPECT_EQ(Ask(koravel::kCommandWriteBlock, {5, 0, 1, 2}), 0);
    EXPECT_EQ(Ask(koravel::kCommandWriteBlock, {40, 0, 1}), sim::kStatusBlockRefused);
    EXPECT_EQ(simulator->Eeprom().at(5), (Bytes{1, 2}));
}

TEST_F(SimOverLink, DelayHoldsEachReplyBackWhileRequestsKeepComingIn) {
    sim::Options options = Quick();
    options.faults.delayMs = 300;
    Start(options);

    const auto start = SteadyClock::now();
    EXPECT_EQ(Ask(koravel::kCommandStatus), 0);
    EXPECT_GE(SteadyClock::now() - start, milliseconds(300));

    // A late reply does not hold the line: the next request is taken in
    // meanwhile, and the replies come in their order.
    sim::Faults late;
    late.delayMs = 3000;
    late.delayMaxMs = 3500;
    simulator->SetFaults(late);
    simulator->ClearRequests();
    SendFrame(Bytes{0x01, koravel::kCommandStatus});
    SendFrame(Bytes{0x02, koravel::kCommandStatus});
    const auto deadline = SteadyClock::now() + milliseconds(2500);
    while (simulator->RequestCount(koravel::kCommandStatus) < 2 && SteadyClock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandStatus), 2u);
    EXPECT_EQ(unit.Port().InputCount(), 0u) << "a reply came early";
    for (std::uint8_t sequence : {0x01, 0x02}) {
        frame::Receiver receiver;
        ASSERT_EQ(ReadFrame(receiver), frame::Feed::Frame);
        EXPECT_EQ(receiver.buffer[0], sequence);
    }
    EXPECT_GE(SteadyClock::now() - deadline, milliseconds(500)) << "3 s late at the least";
}

TEST_F(SimOverLink, ShortRepliesAndUnansweredStatusRequests) {
    sim::Options options = Quick();
    options.faults.sequenceOnly = true;
    Start(options);

    // The sequence byte and the checksum: the unit still carries the order out.
    SendFrame(Bytes{0x81, koravel::kCommandTune, 0x78, 0x37});
    frame::Receiver receiver;
    ASSERT_EQ(ReadFrame(receiver), frame::Feed::Frame);
    EXPECT_EQ(receiver.buffer, frame::WithChecksum(Bytes{0x81}));
    EXPECT_EQ(simulator->State().state.targetKhz, 14200);

    // Status requests go unanswered; everything else is answered.
    sim::Faults noStatus;
    noStatus.silentStatus = true;
    simulator->SetFaults(noStatus);
    EXPECT_EQ(Ask(koravel::kCommandStatus, {}, 2, 100), unit::kNoReply);
    EXPECT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(7050)), 0);
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandStatus), 2u);
}

TEST_F(SimOverLink, RequestLogKeepsTheLatestAndCountsEvery) {
    sim::Options options = Quick();
    options.faults.drop = 1.0; // nothing answered: only the log grows
    Start(options);
    const std::size_t total = sim::Simulator::kRequestLogSize + 10;
    for (std::size_t n = 0; n < total; ++n) {
        SendFrame(Bytes{static_cast<std::uint8_t>(n & 0x7F), koravel::kCommandStatus});
        if (n % 256 == 255) {
            // Let the unit keep up with the line.
            const auto deadline = SteadyClock::now() + milliseconds(5000);
            while (simulator->RequestCount(koravel::kCommandStatus) <= n &&
                   SteadyClock::now() < deadline)
                std::this_thread::sleep_for(milliseconds(1));
        }
    }
    SendFrame(Bytes{0x7F, koravel::kCommandTune, 0, 0});
    const auto deadline = SteadyClock::now() + milliseconds(5000);
    while (simulator->RequestCount(koravel::kCommandTune) == 0 && SteadyClock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandStatus), total);
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandTune), 1u);
    const std::vector<Bytes> log = simulator->Requests();
    ASSERT_EQ(log.size(), sim::Simulator::kRequestLogSize);
    EXPECT_EQ(log.back()[1], koravel::kCommandTune);
}

TEST_F(SimOverLink, NoiseBetweenFramesLeavesACorrectReceiverInStep) {
    sim::Options options = Quick();
    options.faults.noise = 1.0;
    options.seed = 7;
    Start(options);

    // By hand: more bytes arrive than the frames hold, and every frame
    // still comes out whole.
    std::size_t extra = 0;
    for (std::uint8_t seq = 1; seq <= 20; ++seq) {
        SendFrame(Bytes{seq, koravel::kCommandStatus});
        frame::Receiver receiver;
        std::size_t bytes = 0;
        ASSERT_EQ(ReadFrame(receiver, &bytes), frame::Feed::Frame) << "request " << int(seq);
        ASSERT_EQ(receiver.buffer[0], seq);
        Bytes content(receiver.buffer.begin(), receiver.buffer.end() - 1);
        extra += bytes - frame::Encode(content).size();
    }
    EXPECT_GE(extra, 20u) << "noise came before every reply";

    // And through the program's exchange.
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(Ask(koravel::kCommandStatus, {}, 1), 0) << "request " << i;
}
