// A unit played on a pseudo-terminal's master side for the latency
// benchmarks: it notes when the first byte of a frame arrives and answers
// every frame at once with status 0, so that the program under test goes on.
#pragma once

#include "protocol/bytes.h"
#include "protocol/frame.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <sys/select.h>
#include <thread>
#include <unistd.h>

namespace bench_support {

class AnsweringUnit {
public:
    using Clock = std::chrono::steady_clock;

    explicit AnsweringUnit(int master) : master_(master), thread_([this] { Run(); }) {}
    ~AnsweringUnit() {
        stop_ = true;
        thread_.join();
    }
    AnsweringUnit(const AnsweringUnit&) = delete;
    AnsweringUnit& operator=(const AnsweringUnit&) = delete;

    // Forgets the last frame: the next frame's first byte is noted.
    void Reset() { firstByteAt_ = 0; }
    // When the first frame since Reset began to arrive, if it has.
    std::optional<Clock::time_point> FirstByteAt() const {
        const Clock::rep at = firstByteAt_.load();
        if (at == 0)
            return std::nullopt;
        return Clock::time_point(Clock::duration(at));
    }

private:
    void Run() {
        frame::Receiver rx;
        while (!stop_) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(master_, &set);
            timeval tv{0, 20000};
            if (select(master_ + 1, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            std::uint8_t b = 0;
            if (read(master_, &b, 1) != 1)
                continue;
            if (b == frame::kStart && !rx.inFrame && firstByteAt_.load() == 0)
                firstByteAt_ = Clock::now().time_since_epoch().count();
            if (rx.Push(b) == frame::Feed::Frame) {
                const koravel::Bytes reply = frame::Encode(koravel::Bytes{rx.buffer[0], 0x00});
                (void)!write(master_, reply.data(), reply.size());
            }
        }
    }

    const int master_;
    std::atomic<bool> stop_{false};
    std::atomic<Clock::rep> firstByteAt_{0};
    std::thread thread_; // last: started once the rest is in place
};

} // namespace bench_support
