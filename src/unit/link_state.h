// What a poll tick's answers say about the link, weighed the same way by
// every client that polls a unit (the window, the station server): the link
// is up from the first answer to a status request, and goes down on the
// 39th consecutive tick without any frame while it is up. A frame that
// answers nothing is not silence either; the count of silent ticks also
// restarts whenever an exchange hears an intact frame (Hooks::FrameHeard).
#pragma once

#include "protocol/status_reply.h"
#include "unit/unit.h"

#include <cstdint>
#include <optional>

namespace unit {

enum class PollVerdict {
    Answered, // a frame answered a recent request: the link is up
    Silent,   // nothing answered (counted while the link is up)
    LinkLost, // this silent tick takes the link down
};

// Weighs one tick's answers into connected and silentTicks.
PollVerdict WeighPollTick(const PollAnswers& answers, bool& connected, std::int32_t& silentTicks);

// The status reply among a tick's answers: the newest answer, when it
// answers a status request and is long enough for the fields (a shorter one
// still answers, but tells nothing).
std::optional<koravel::StatusReply> PolledStatus(const PollAnswers& answers);

} // namespace unit
