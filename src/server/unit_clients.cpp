#include "server/unit_clients.h"

#include "protocol/commands.h"

#include <algorithm>

namespace server {

koravel::Bytes ReplyWire(std::uint8_t sequence, std::uint8_t status, koravel::ByteView payload) {
    koravel::Bytes content;
    content.reserve(payload.size() + 2);
    content.push_back(sequence);
    content.push_back(status);
    content.insert(content.end(), payload.begin(), payload.end());
    return frame::Encode(content);
}

ClientId UnitClients::Add() {
    const ClientId id = nextClient_++;
    clients_.emplace(id, Client{});
    return id;
}

void UnitClients::Remove(ClientId client) {
    clients_.erase(client);
    // Its tickets stay until the unit ends them: they are still on the wire.
    if (writer_ == client) {
        writer_.reset();
        writerBusy_ = 0;
    }
}

std::optional<ClientId> UnitClients::Writer(unit::Millis now) const {
    if (!writer_)
        return std::nullopt;
    if (*writer_ != kUploadWriter && writerBusy_ == 0 && now - writerSeen_ >= kWriterIdleMs)
        return std::nullopt;
    return writer_;
}

bool UnitClients::TakeWriter(ClientId who, unit::Millis now) {
    const std::optional<ClientId> holder = Writer(now);
    if (holder && *holder != who)
        return false;
    if (!holder)
        writerBusy_ = 0;
    writer_ = who;
    writerSeen_ = now;
    return true;
}

void UnitClients::ReleaseWriter(ClientId who) {
    if (writer_ == who) {
        writer_.reset();
        writerBusy_ = 0;
    }
}

void UnitClients::TouchWriter(ClientId who, unit::Millis now) {
    if (writer_ == who)
        writerSeen_ = now;
}

Effects UnitClients::Feed(ClientId id, koravel::ByteView bytes, unit::Millis now) {
    Effects effects;
    auto found = clients_.find(id);
    if (found == clients_.end())
        return effects;
    Client& client = found->second;
    for (const std::uint8_t b : bytes) {
        if (client.receiver.Push(b) != frame::Feed::Frame)
            continue;
        // The content without its checksum.
        koravel::Bytes content(client.receiver.buffer.begin(), client.receiver.buffer.end() - 1);
        Request(id, client, content, now, effects);
    }
    return effects;
}

void UnitClients::Request(ClientId id, Client& client, const koravel::Bytes& content,
                          unit::Millis now, Effects& effects) {
    const std::uint8_t sequence = content[0];
    const std::uint8_t command = content[1];
    const koravel::ByteView argument(content.data() + 2, content.size() - 2);

    if (command == koravel::kCommandStatus) {
        if (latestStatus_.size() >= 3) {
            // The poll's answer with this client's sequence byte.
            const koravel::ByteView payload(latestStatus_.data() + 2, latestStatus_.size() - 3);
            effects.replies.push_back(ReplyWire(sequence, latestStatus_[1], payload));
        }
        return;
    }

    // Another attempt of a request under way, or of the one last answered.
    for (const auto& [ticket, pending] : client.pending) {
        if (pending.sequence == sequence && pending.content == content)
            return;
    }
    if (client.lastEnded && client.lastEnded->sequence == sequence &&
        client.lastEnded->content == content) {
        // Answered: the same answer again. Superseded or unanswered: a late
        // attempt of an older order must not go out after a newer one.
        if (!client.lastAnswer.empty())
            effects.replies.push_back(client.lastAnswer);
        return;
    }
    if (client.pending.size() >= kMaxPending)
        return;

    UnitRequest request;
    request.command = command;
    request.argument.assign(argument.begin(), argument.end());
    request.replyFlag = (sequence & 0x80) != 0;
    if (command == koravel::kCommandRetract || command == koravel::kCommandTune) {
        request.kind = UnitRequest::Kind::Command;
    } else if (command == koravel::kCommandWriteBlock) {
        if (!TakeWriter(id, now)) {
            effects.replies.push_back(ReplyWire(sequence, kStatusBusy, {}));
            return;
        }
        request.kind = UnitRequest::Kind::BlockWrite;
        ++writerBusy_;
        ++blockWritesUnderWay_;
    } else {
        request.kind = UnitRequest::Kind::Exchange;
    }
    request.ticket = nextTicket_++;
    client.pending.emplace(request.ticket, Pending{sequence, content});
    tickets_.emplace(request.ticket,
                     Ticket{id, sequence, request.kind == UnitRequest::Kind::BlockWrite});
    effects.toUnit.push_back(std::move(request));
}

std::optional<UnitClients::Answer>
UnitClients::Completed(std::uint64_t ticket, const unit::Reply& reply, unit::Millis now) {
    const auto found = tickets_.find(ticket);
    if (found == tickets_.end())
        return std::nullopt;
    const Ticket t = found->second;
    tickets_.erase(found);
    if (t.blockWrite) {
        --blockWritesUnderWay_;
        if (writer_ == t.client && writerBusy_ > 0)
            --writerBusy_;
        TouchWriter(t.client, now);
    }
    const auto client = clients_.find(t.client);
    if (client == clients_.end())
        return std::nullopt;
    const auto pending = client->second.pending.find(ticket);
    if (pending == client->second.pending.end())
        return std::nullopt;
    client->second.lastEnded = std::move(pending->second);
    client->second.lastAnswer.clear();
    client->second.pending.erase(pending);
    if (reply.superseded || reply.status == unit::kNoReply)
        return std::nullopt;
    // The payload ends in the unit's checksum byte, which is made anew.
    const koravel::ByteView payload(reply.payload.data(),
                                    reply.payload.empty() ? 0 : reply.payload.size() - 1);
    Answer answer{t.client, ReplyWire(t.sequence, reply.status, payload)};
    client->second.lastAnswer = answer.wire;
    return answer;
}

} // namespace server
