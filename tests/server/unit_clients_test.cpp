// The unit's protocol for many clients, without sockets: who gets which
// answer, what reaches the unit, and the one-writer rule.
#include "server/unit_clients.h"

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/status_reply.h"

#include <gtest/gtest.h>

using koravel::Bytes;
using server::ClientId;
using server::UnitClients;
using server::UnitRequest;

namespace {

Bytes Request(std::uint8_t sequence, std::uint8_t command, Bytes argument = {}) {
    Bytes content{sequence, command};
    content.insert(content.end(), argument.begin(), argument.end());
    return frame::Encode(content);
}

// The content of the one frame in wire (checksum included).
Bytes Content(const Bytes& wire) {
    frame::Receiver receiver;
    for (std::uint8_t b : wire) {
        if (receiver.Push(b) == frame::Feed::Frame)
            return receiver.buffer;
    }
    return {};
}

unit::Reply Done(std::uint8_t status, Bytes payloadWithChecksum = {0x00}) {
    unit::Reply reply;
    reply.status = status;
    reply.payload = std::move(payloadWithChecksum);
    return reply;
}

} // namespace

TEST(UnitClients, EachClientGetsItsOwnAnswers) {
    UnitClients clients;
    const ClientId a = clients.Add();
    const ClientId b = clients.Add();

    // No recent poll answer: a silent unit.
    EXPECT_TRUE(clients.Feed(a, Request(13, koravel::kCommandStatus), 0).replies.empty());

    koravel::StatusReply status;
    status.sequence = 77; // the server's own request
    status.fwMajor = 1;
    status.fwMinor = 13;
    status.freqKhz = 14200;
    Bytes poll = koravel::EncodeStatusBody(status);
    poll.push_back(frame::Checksum(poll));
    clients.SetLatestStatus(poll);

    // A status request in two pieces, answered with the client's sequence
    // byte, and nothing for the unit.
    const Bytes ask = Request(13, koravel::kCommandStatus);
    EXPECT_TRUE(clients.Feed(a, Bytes(ask.begin(), ask.begin() + 2), 0).replies.empty());
    server::Effects fx = clients.Feed(a, Bytes(ask.begin() + 2, ask.end()), 0);
    ASSERT_EQ(fx.replies.size(), 1u);
    EXPECT_TRUE(fx.toUnit.empty());
    const auto decoded = koravel::DecodeStatusReply(Content(fx.replies[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->sequence, 13);
    EXPECT_EQ(decoded->freqKhz, 14200);
    EXPECT_EQ(decoded->FirmwareVersion(), 269);
    EXPECT_EQ(koravel::DecodeStatusReply(
                  Content(clients.Feed(b, Request(99, koravel::kCommandStatus), 0).replies.at(0)))
                  ->sequence,
              99);

    // Commands go to the unit; the reply goes to the client that asked,
    // with its sequence byte, and to nobody else.
    fx = clients.Feed(a, Request(0x8D, koravel::kCommandTune, {0x78, 0x37}), 0);
    ASSERT_EQ(fx.toUnit.size(), 1u);
    EXPECT_EQ(fx.toUnit[0].kind, UnitRequest::Kind::Command);
    EXPECT_EQ(fx.toUnit[0].argument, (Bytes{0x78, 0x37}));
    const auto ticketA = fx.toUnit[0].ticket;
    // Its second attempt while the first is under way is not sent twice.
    EXPECT_TRUE(
        clients.Feed(a, Request(0x8D, koravel::kCommandTune, {0x78, 0x37}), 0).toUnit.empty());
    fx = clients.Feed(b, Request(0x8D, koravel::kCommandRetract), 0);
    ASSERT_EQ(fx.toUnit.size(), 1u);
    const auto ticketB = fx.toUnit[0].ticket;

    const auto answer = clients.Completed(ticketA, Done(0), 0);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->client, a);
    EXPECT_EQ(Content(answer->wire)[0], 0x8D);
    EXPECT_EQ(Content(answer->wire)[1], 0);
    // Superseded by a newer command, or unanswered: the client hears nothing.
    unit::Reply superseded;
    superseded.superseded = true;
    EXPECT_FALSE(clients.Completed(ticketB, superseded, 0));
    // Its client's next attempt comes late: nothing goes out, or the older
    // order would overtake the newer one.
    fx = clients.Feed(b, Request(0x8D, koravel::kCommandRetract), 0);
    EXPECT_TRUE(fx.toUnit.empty());
    EXPECT_TRUE(fx.replies.empty());
    // Asked again after its answer: the same answer, nothing more on the wire.
    fx = clients.Feed(a, Request(0x8D, koravel::kCommandTune, {0x78, 0x37}), 0);
    EXPECT_TRUE(fx.toUnit.empty());
    ASSERT_EQ(fx.replies.size(), 1u);
    EXPECT_EQ(fx.replies[0], answer->wire);

    // A client gone before its answer: the exchange ends unheard.
    fx = clients.Feed(b, Request(0x90, koravel::kCommandTune, {1, 2}), 0);
    clients.Remove(b);
    EXPECT_FALSE(clients.Completed(fx.toUnit.at(0).ticket, Done(0), 0));
}

TEST(UnitClients, OneWriterAtATime) {
    UnitClients clients;
    const ClientId a = clients.Add();
    const ClientId b = clients.Add();
    const Bytes block{0x05, 0x00, 1, 2, 3};

    server::Effects fx = clients.Feed(a, Request(0x81, koravel::kCommandWriteBlock, block), 0);
    ASSERT_EQ(fx.toUnit.size(), 1u);
    EXPECT_EQ(fx.toUnit[0].kind, UnitRequest::Kind::BlockWrite);
    const auto firstBlock = fx.toUnit[0].ticket;
    EXPECT_EQ(clients.BlockWritesUnderWay(), 1);
    EXPECT_EQ(clients.Writer(0), a);

    // Another writer is answered "busy" at once; nothing reaches the unit.
    fx = clients.Feed(b, Request(0x82, koravel::kCommandWriteBlock, block), 1);
    EXPECT_TRUE(fx.toUnit.empty());
    ASSERT_EQ(fx.replies.size(), 1u);
    EXPECT_EQ(Content(fx.replies[0])[0], 0x82);
    EXPECT_EQ(Content(fx.replies[0])[1], server::kStatusBusy);
    EXPECT_FALSE(clients.TakeWriter(server::kUploadWriter, 1));
    // Commands still go, from anyone.
    EXPECT_EQ(clients.Feed(b, Request(0x83, koravel::kCommandRetract), 1).toUnit.size(), 1u);

    // The writer holds on while it writes, and a while after.
    ASSERT_TRUE(clients.Completed(firstBlock, Done(0), 100));
    EXPECT_EQ(clients.BlockWritesUnderWay(), 0);
    EXPECT_EQ(clients.Writer(100 + server::kWriterIdleMs - 1), a);
    EXPECT_FALSE(clients.Writer(100 + server::kWriterIdleMs));

    // A writer that goes lets go at once, even with its block on the wire.
    fx = clients.Feed(a, Request(0x84, koravel::kCommandWriteBlock, block), 200);
    ASSERT_EQ(fx.toUnit.size(), 1u);
    clients.Remove(a);
    EXPECT_FALSE(clients.Writer(201));
    EXPECT_EQ(clients.BlockWritesUnderWay(), 1) << "its block still runs to its end";
    EXPECT_TRUE(clients.TakeWriter(server::kUploadWriter, 202));
    EXPECT_EQ(
        clients.Feed(b, Request(0x85, koravel::kCommandWriteBlock, block), 203).replies.size(), 1u);
    clients.ReleaseWriter(server::kUploadWriter);
    EXPECT_EQ(clients.Feed(b, Request(0x86, koravel::kCommandWriteBlock, block), 204).toUnit.size(),
              1u);
}
