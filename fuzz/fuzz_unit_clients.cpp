// The station server's unit-protocol demultiplexer driven by a script.
//
// Input: a script of steps: clients come and go, send bytes (frames, pieces
// of frames, noise), the unit ends exchanges with any status, the poll's
// latest answer changes, the server's upload takes and leaves the set-up.
// Checked:
//  - every reply a client gets is one intact frame that carries a sequence
//    byte the same client sent in a request, with the status the unit gave
//    (or busy for a refused block write, or the poll's for a status request);
//  - nothing is handed to the unit for a status request, a block write while
//    another writer holds the set-up, or a repeated attempt;
//  - a client never has more than kMaxPending requests under way, block
//    writes under way never go below zero, and an ended or unknown ticket
//    gives nothing.
#include "fuzz_check.h"

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "server/unit_clients.h"

#include <map>
#include <set>
#include <vector>

namespace {

using koravel::Bytes;
using server::ClientId;

struct Sent {
    std::set<std::uint8_t> sequences; // every sequence byte the client sent in a frame
};

// The content (checksum included) of the one frame in wire, or empty.
Bytes OneFrame(const Bytes& wire) {
    frame::Receiver receiver;
    Bytes found;
    int frames = 0;
    for (std::uint8_t b : wire) {
        if (receiver.Push(b) == frame::Feed::Frame) {
            found = receiver.buffer;
            ++frames;
        }
    }
    return frames == 1 ? found : Bytes{};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    server::UnitClients clients;
    std::vector<ClientId> ids;
    std::map<ClientId, Sent> sent;
    std::map<ClientId, frame::Receiver> mirror; // what each client's bytes make
    std::map<std::uint64_t, ClientId> tickets;
    std::map<ClientId, int> underWay;
    unit::Millis now = 0;
    std::size_t i = 0;
    auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };

    auto checkReply = [&](ClientId id, const Bytes& wire, std::uint8_t expectStatus,
                          bool anyStatus) {
        const Bytes content = OneFrame(wire);
        FUZZ_CHECK(content.size() >= 3);
        FUZZ_CHECK(sent[id].sequences.count(content[0]) == 1);
        if (!anyStatus)
            FUZZ_CHECK(content[1] == expectStatus);
    };

    while (i < size) {
        const std::uint8_t op = next();
        now += op & 0x0F;
        switch (op >> 5) {
        case 0: // a client comes
            if (ids.size() < 6) {
                ids.push_back(clients.Add());
            }
            break;
        case 1: { // a client goes
            if (ids.empty())
                break;
            const std::size_t k = next() % ids.size();
            clients.Remove(ids[k]);
            ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(k));
            break;
        }
        case 2:
        case 3: { // a client sends a frame, maybe cut, maybe with noise
            if (ids.empty())
                break;
            const ClientId id = ids[next() % ids.size()];
            const std::uint8_t command = next() % 6;
            const std::uint8_t sequence = next();
            Bytes content{sequence, command};
            const std::uint8_t n = next() % 8;
            for (std::uint8_t k = 0; k < n; ++k)
                content.push_back(next());
            Bytes wire = frame::Encode(content);
            const std::uint8_t cut = next();
            if ((cut & 0x80) != 0)
                wire.resize(cut % (wire.size() + 1));
            if ((cut & 0x40) != 0)
                wire.insert(wire.begin(), cut);
            Bytes frames;
            for (std::uint8_t b : wire) {
                if (mirror[id].Push(b) == frame::Feed::Frame)
                    sent[id].sequences.insert(mirror[id].buffer[0]);
            }
            const server::Effects fx = clients.Feed(id, wire, now);
            for (const Bytes& reply : fx.replies)
                checkReply(id, reply, 0, true);
            for (const server::UnitRequest& r : fx.toUnit) {
                FUZZ_CHECK(r.command != koravel::kCommandStatus);
                FUZZ_CHECK(tickets.count(r.ticket) == 0);
                tickets[r.ticket] = id;
                FUZZ_CHECK(++underWay[id] <= static_cast<int>(server::kMaxPending));
                if (r.kind == server::UnitRequest::Kind::BlockWrite)
                    FUZZ_CHECK(clients.Writer(now) == id);
            }
            break;
        }
        case 4: { // the unit ends an exchange
            if (tickets.empty())
                break;
            auto it = tickets.begin();
            std::advance(it, next() % tickets.size());
            unit::Reply reply;
            reply.status = next();
            reply.superseded = (reply.status & 1) != 0 && next() > 200;
            reply.payload.assign(next() % 5, 0x33);
            const auto answer = clients.Completed(it->first, reply, now);
            if (answer) {
                FUZZ_CHECK(answer->client == it->second);
                FUZZ_CHECK(!reply.superseded && reply.status != unit::kNoReply);
                checkReply(answer->client, answer->wire, reply.status, false);
            }
            --underWay[it->second];
            FUZZ_CHECK(!clients.Completed(it->first, reply, now)); // once only
            tickets.erase(it);
            FUZZ_CHECK(clients.BlockWritesUnderWay() >= 0);
            break;
        }
        case 5: { // the poll's latest answer
            Bytes status(next() % 16, next());
            if (status.empty())
                clients.ClearLatestStatus();
            else
                clients.SetLatestStatus(status);
            break;
        }
        case 6: // the server's own upload
            if ((next() & 1) != 0)
                (void)clients.TakeWriter(server::kUploadWriter, now);
            else
                clients.ReleaseWriter(server::kUploadWriter);
            break;
        default:
            now += server::kWriterIdleMs / 4;
            break;
        }
    }
    FUZZ_CHECK(!clients.Completed(~std::uint64_t{0}, unit::Reply{}, now));
    return 0;
}
