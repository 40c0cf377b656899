// Misbehaviour on request: lost requests, corrupt replies, refused blocks,
// late replies and noise on the line.
#include "sim_support.h"

using namespace simtest;

TEST_F(SimOverLink, DroppedRequestsAreNeverAnsweredNorCarriedOut) {
    sim::Options options = Quick();
    options.faults.drop = 1.0;
    Start(options);

    EXPECT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(14200), 4, 100), exchange::kNoReply);
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
    exchange::SendFrame(Bytes{0x81, koravel::kCommandTune, 0x78, 0x37});
    frame::Receiver receiver;
    EXPECT_EQ(ReadFrame(receiver), frame::Feed::Rejected);
    EXPECT_EQ(receiver.buffer.size(), 3u) << "sequence, status, checksum";
    EXPECT_EQ(receiver.buffer[0], 0x81);
    EXPECT_EQ(simulator->State().state.targetKhz, 14200) << "the unit carried the order out";

    EXPECT_EQ(Ask(koravel::kCommandStatus, {}, 4, 100), exchange::kNoReply);
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

TEST_F(SimOverLink, DelayHoldsEachReplyBack) {
    sim::Options options = Quick();
    options.faults.delayMs = 300;
    Start(options);

    const auto start = SteadyClock::now();
    EXPECT_EQ(Ask(koravel::kCommandStatus), 0);
    EXPECT_GE(SteadyClock::now() - start, milliseconds(300));
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
        exchange::SendFrame(Bytes{seq, koravel::kCommandStatus});
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
