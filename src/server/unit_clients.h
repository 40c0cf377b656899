// The unit's own protocol for many clients at once: each client talks to the
// server as it would to a unit on a serial line (a ser2net port), and sees a
// unit of its own. This is the protocol side without sockets: it is fed each
// client's bytes and says what to send back and what to hand to the unit.
//
//   - A status request (command 1) is answered at once from the server's
//     latest poll, with the client's own sequence byte: the line carries one
//     status request per poll tick however many clients ask. While no recent
//     poll answer is known (the unit is silent, unplugged, or not found yet)
//     it gets no reply, as from a silent unit.
//   - Operator commands (2 retract, 3 tune) go to the unit as commands that
//     supersede each other across clients (newest wins). Block writes
//     (command 4) go as the set-up transfer's exchanges. Other commands go
//     as a single exchange. The server assigns the unit's sequence bytes;
//     the reply goes back to the client that asked, with its sequence byte
//     (and the unit's status and payload). An exchange that ends without a
//     reply, or superseded by a newer command, sends the client nothing.
//   - Set-up block writes come from one writer at a time: the first client
//     that writes holds the unit's set-up until it disconnects or writes
//     nothing for kWriterIdleMs (the server's own set-up upload holds it
//     while it runs). A block write from anyone else is answered at once
//     with status kStatusBusy and nothing reaches the unit.
//   - A client that sends an attempt again (the same sequence byte and
//     content) while its request is under way is not sent twice; one that
//     repeats the request it last got an answer to gets that answer again;
//     one that repeats a request that ended superseded or unanswered gets
//     nothing, and nothing goes to the unit: a late attempt of an older
//     order never overtakes a newer one.
//   - Bytes of a frame that a client never finishes reach nobody: a block
//     never goes out half. A request handed to the unit runs to its end on
//     the wire even when its client is gone.
#pragma once

#include "protocol/bytes.h"
#include "protocol/frame.h"
#include "unit/unit.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace server {

using ClientId = std::uint64_t;
// The writer id of the server's own set-up upload.
constexpr ClientId kUploadWriter = ~ClientId{0};

// The status byte a block write gets while another client holds the set-up.
constexpr std::uint8_t kStatusBusy = 0xB0;
// A writer that has written nothing for this long lets go.
constexpr unit::Millis kWriterIdleMs = 10000;
// Requests a client may have under way at once; more get no reply.
constexpr std::size_t kMaxPending = 4;

// What to hand to the unit.
struct UnitRequest {
    enum class Kind {
        Command,    // SendCommand: newest wins across clients
        BlockWrite, // Transact as a set-up block write
        Exchange,   // Transact once, with the client's reply flag
    };
    Kind kind = Kind::Command;
    std::uint64_t ticket = 0; // given back to Completed
    std::uint8_t command = 0;
    bool replyFlag = false;
    koravel::Bytes argument;
};

struct Effects {
    std::vector<koravel::Bytes> replies; // wire bytes for the client that fed
    std::vector<UnitRequest> toUnit;
};

class UnitClients {
public:
    ClientId Add();
    // The client is gone: its unfinished frame is dropped, its requests
    // under way end unheard, and it lets go of the set-up.
    void Remove(ClientId client);
    std::size_t Count() const { return clients_.size(); }

    // Bytes from a client; now is the server's clock.
    Effects Feed(ClientId client, koravel::ByteView bytes, unit::Millis now);
    // The unit's exchange for ticket ended: the wire bytes to send to its
    // client, if it is still there and there is a reply to give.
    struct Answer {
        ClientId client = 0;
        koravel::Bytes wire;
    };
    std::optional<Answer> Completed(std::uint64_t ticket, const unit::Reply& reply,
                                    unit::Millis now);

    // The content (checksum included) of the latest answer to the server's
    // status poll; empty: none recent, status requests get no reply.
    void SetLatestStatus(koravel::Bytes content) { latestStatus_ = std::move(content); }
    void ClearLatestStatus() { latestStatus_.clear(); }

    // The set-up writer, if one holds it at now.
    std::optional<ClientId> Writer(unit::Millis now) const;
    // Takes the set-up for who unless another holds it.
    bool TakeWriter(ClientId who, unit::Millis now);
    void ReleaseWriter(ClientId who);
    // Block writes handed to the unit and not yet ended.
    int BlockWritesUnderWay() const { return blockWritesUnderWay_; }

private:
    struct Pending {
        std::uint8_t sequence = 0;
        koravel::Bytes content; // without checksum
    };
    struct Client {
        frame::Receiver receiver;
        std::map<std::uint64_t, Pending> pending; // by ticket
        // The request that ended last, and its answer's wire bytes (empty
        // when it ended superseded or unanswered).
        std::optional<Pending> lastEnded;
        koravel::Bytes lastAnswer;
    };
    struct Ticket {
        ClientId client = 0;
        std::uint8_t sequence = 0;
        bool blockWrite = false;
    };

    void Request(ClientId id, Client& client, const koravel::Bytes& content, unit::Millis now,
                 Effects& effects);
    void TouchWriter(ClientId who, unit::Millis now);

    std::map<ClientId, Client> clients_;
    std::map<std::uint64_t, Ticket> tickets_;
    ClientId nextClient_ = 1;
    std::uint64_t nextTicket_ = 1;
    koravel::Bytes latestStatus_;
    std::optional<ClientId> writer_;
    unit::Millis writerSeen_ = 0;
    int writerBusy_ = 0; // the writer's block writes under way
    int blockWritesUnderWay_ = 0;
};

// A reply frame on the wire: the sequence byte, the status, the payload.
koravel::Bytes ReplyWire(std::uint8_t sequence, std::uint8_t status, koravel::ByteView payload);

} // namespace server
