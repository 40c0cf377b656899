// The status poll's side of the exchange: which frames on the port answer
// its recent status requests. Shared by the window's poll tick and
// `koravelctl watch`.
//
// A unit may answer late (busy moving its motors, a USB adapter's latency, a
// remote link): a reply can come after the next request went out. So every
// frame waiting is read, and a frame that carries the sequence byte of any of
// the recent requests (exchange::RecentRequests) answers it.
#pragma once

#include "protocol/bytes.h"

#include <cstdint>

namespace exchange {

// Silent ticks a connected link survives (about 15.6 s at 400 ms a tick); the
// next one takes it down.
constexpr std::int32_t kMaxSilentTicks = 38;

// What one tick found on the port.
struct PollAnswers {
    bool answered = false;    // a frame answered one of the recent requests
    bool otherFrames = false; // intact frames that answer none of them were read
    std::uint8_t command = 0; // the command of the newest request answered
    koravel::Bytes newest;    // its answer's content, checksum included
};

// Takes the unclaimed frames that answer a recent request, then reads every
// complete frame waiting on the port. Frames that answer none are kept
// unclaimed for their owners (a waiting Transact). Once a request is
// answered, it and the requests before it are forgotten: a frame for them
// that comes later is older news than what was shown.
PollAnswers CollectPollAnswers();

} // namespace exchange
