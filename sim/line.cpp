#include "sim/line.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace sim {

namespace {

// Longest single sleep, so an abort is noticed soon.
constexpr std::chrono::milliseconds kSlice{20};
// How long a write waits for room before its bytes are given up.
constexpr int kRoomWaitMs = 200;

void SleepUntil(Clock::time_point when) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    // steady_clock is CLOCK_MONOTONIC.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

} // namespace

Clock::time_point Line::Arrival(Clock::time_point readAt) {
    if (!pace_)
        return readAt;
    rxFree_ = std::max(readAt, rxFree_) + kByteTime;
    return rxFree_;
}

bool Line::WaitUntil(Clock::time_point when) {
    for (;;) {
        if (abort_())
            return false;
        const auto now = Clock::now();
        if (now >= when)
            return true;
        SleepUntil(std::min(when, now + kSlice));
    }
}

void Line::WriteNow(koravel::ByteView bytes) {
    size_t done = 0;
    while (done < bytes.size() && fd_ >= 0) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            struct pollfd p {
                fd_, POLLOUT, 0
            };
            if (::poll(&p, 1, kRoomWaitMs) > 0 && (p.revents & POLLOUT) != 0)
                continue;
        }
        return; // nobody takes the bytes: they are lost
    }
}

bool Line::Send(koravel::ByteView bytes) {
    if (!pace_) {
        WriteNow(bytes);
        return !abort_();
    }
    // Byte i is complete at the other end (i + 1) byte times after the line
    // is free; write every byte whose time has come, then sleep to the next.
    const Clock::time_point start = std::max(Clock::now(), txFree_);
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (!WaitUntil(start + kByteTime * static_cast<long>(sent + 1)))
            return false;
        const auto elapsed = Clock::now() - start;
        size_t due = static_cast<size_t>(elapsed / kByteTime);
        due = std::clamp(due, sent + 1, bytes.size());
        WriteNow(bytes.subspan(sent, due - sent));
        sent = due;
    }
    txFree_ = start + kByteTime * static_cast<long>(bytes.size());
    return true;
}

} // namespace sim
