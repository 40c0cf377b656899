#include "protocol/frame.h"

#include <gtest/gtest.h>

using koravel::Bytes;

namespace {

// Feeds wire bytes into a receiver; returns every intact frame's content.
std::vector<Bytes> FeedAll(frame::Receiver& rx, const Bytes& wire) {
    std::vector<Bytes> frames;
    for (std::uint8_t b : wire) {
        if (rx.Push(b) == frame::Feed::Frame)
            frames.push_back(rx.buffer);
    }
    return frames;
}

} // namespace

TEST(Frame, WorkedExamplesGoOnTheWireByteExact) {
    EXPECT_EQ(frame::Checksum(Bytes{0x0D, 0x01}), 0x59);
    EXPECT_EQ(frame::Encode(Bytes{0x0D, 0x01}), (Bytes{0xF5, 0x0D, 0x01, 0x59, 0xFA}));
    EXPECT_EQ(frame::Checksum(Bytes{0x0E, 0x04, 0xF5, 0x00}), 0xAE);
    EXPECT_EQ(frame::Encode(Bytes{0x0E, 0x04, 0xF5, 0x00}),
              (Bytes{0xF5, 0x0E, 0x04, 0xF6, 0x75, 0x00, 0xAE, 0xFA}));
}

TEST(Frame, ReservedValuesAreEscapedInContentAndChecksum) {
    EXPECT_EQ(frame::Encode(Bytes{0x01, 0xF5, 0xF6, 0xFA}).size(), 1u + 7u + 1u + 1u);
    Bytes wire = frame::Encode(Bytes{0x01, 0xF5, 0xF6, 0xFA});
    EXPECT_EQ(Bytes(wire.begin() + 2, wire.begin() + 8),
              (Bytes{0xF6, 0x75, 0xF6, 0x76, 0xF6, 0x7A}));

    // Find contents whose checksum is each reserved value; it travels escaped.
    for (std::uint8_t reserved : {frame::kStart, frame::kEscape, frame::kEnd}) {
        bool found = false;
        for (int a = 0; a < 256 && !found; ++a) {
            Bytes content{0x11, static_cast<std::uint8_t>(a)};
            if (frame::Checksum(content) != reserved)
                continue;
            found = true;
            wire = frame::Encode(content);
            ASSERT_GE(wire.size(), 4u);
            EXPECT_EQ(wire[wire.size() - 3], frame::kEscape);
            EXPECT_EQ(wire[wire.size() - 2], reserved & 0x7F);
            frame::Receiver rx;
            auto frames = FeedAll(rx, wire);
            ASSERT_EQ(frames.size(), 1u);
            EXPECT_EQ(frames[0], frame::WithChecksum(content));
        }
        EXPECT_TRUE(found);
    }
}

TEST(Frame, ReceiverRoundTripsEveryByteValue) {
    Bytes content{0x85, 0x00};
    for (int v = 0; v < 256; ++v)
        content.push_back(static_cast<std::uint8_t>(v));
    content.resize(frame::kMaxContent);
    frame::Receiver rx;
    auto frames = FeedAll(rx, frame::Encode(content));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frame::WithChecksum(content));
    EXPECT_FALSE(rx.inFrame);
}

TEST(Frame, ReceiverRejectsBadChecksumShortFramesAndResynchronises) {
    frame::Receiver rx;
    // A single content byte whose "checksum" runs to 1 is still too short.
    std::uint8_t single = 0;
    for (int v = 0; v < 256; ++v) {
        if (frame::Checksum(Bytes{static_cast<std::uint8_t>(v)}) == 1)
            single = static_cast<std::uint8_t>(v);
    }
    ASSERT_EQ(frame::Checksum(Bytes{single}), 1);
    EXPECT_EQ(rx.Push(frame::kStart), frame::Feed::Pending);
    EXPECT_EQ(rx.Push(single), frame::Feed::Pending);
    EXPECT_EQ(rx.Push(frame::kEnd), frame::Feed::Rejected);

    // Corrupted checksum.
    Bytes wire = frame::Encode(Bytes{0x0D, 0x00, 0x01});
    wire[wire.size() - 2] ^= 0x01;
    EXPECT_TRUE(FeedAll(rx, wire).empty());

    // Bytes outside a frame and a stray end byte are ignored; a second start
    // byte mid-frame discards what came before it.
    Bytes good = frame::Encode(Bytes{0x8D, 0x00});
    Bytes stream{0x00, 0x42, frame::kEnd, frame::kStart, 0x01, 0x02, 0x03};
    stream.insert(stream.end(), good.begin(), good.end());
    auto frames = FeedAll(rx, stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frame::WithChecksum(Bytes{0x8D, 0x00}));
}

TEST(Frame, EscapeBeforeStartByteDoesNotLeakIntoTheNextFrame) {
    frame::Receiver rx;
    Bytes stream{frame::kEscape};
    Bytes good = frame::Encode(Bytes{0x0D, 0x00, 0x05});
    stream.insert(stream.end(), good.begin(), good.end());
    auto frames = FeedAll(rx, stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][2], 0x05);
}

TEST(Frame, OverlongFrameIsDroppedAndBufferStaysBounded) {
    frame::Receiver rx;
    rx.Push(frame::kStart);
    for (int i = 0; i < 100000; ++i) {
        rx.Push(0x20);
        ASSERT_LE(rx.buffer.size(), frame::kMaxReceived);
    }
    // The rest of the endless frame is ignored until a new start byte.
    EXPECT_EQ(rx.Push(frame::kEnd), frame::Feed::Pending);
    auto frames = FeedAll(rx, frame::Encode(Bytes{0x0D, 0x00}));
    EXPECT_EQ(frames.size(), 1u);

    // The longest legal frame still passes.
    Bytes longest(frame::kMaxContent, 0x33);
    frames = FeedAll(rx, frame::Encode(longest));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), frame::kMaxReceived);
}
