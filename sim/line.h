// The master side of the pseudo-terminal played as a 19200-baud line, 10 bits
// a byte: bytes take their line time to arrive and to leave. Used by the
// serving thread only.
#pragma once

#include "protocol/bytes.h"
#include "sim/unit.h"

#include <chrono>
#include <functional>

namespace sim {

// 10 bits at 19200 baud.
constexpr std::chrono::nanoseconds kByteTime{520833};

class Line {
public:
    // abort is asked between waits; when it turns true, waits and writes end.
    Line(bool pace, std::function<bool()> abort) : pace_(pace), abort_(std::move(abort)) {}

    void SetFd(int fd) { fd_ = fd; }
    bool Paced() const { return pace_; }

    // The moment a byte read at readAt has fully arrived: the line carries
    // one byte after another, so bytes read together arrive one by one.
    Clock::time_point Arrival(Clock::time_point readAt);
    // Waits until the given moment. False when aborted.
    bool WaitUntil(Clock::time_point when);
    // Sends bytes, paced when pacing is on. Bytes that the other side does
    // not take (nobody reads, the line is gone) are lost, as on a real line.
    // False when aborted.
    bool Send(koravel::ByteView bytes);

private:
    void WriteNow(koravel::ByteView bytes);

    int fd_ = -1;
    bool pace_;
    std::function<bool()> abort_;
    Clock::time_point rxFree_{};
    Clock::time_point txFree_{};
};

} // namespace sim
