// An exchange of a unit with the simulated unit over a pseudo-terminal,
// paced like the real 19200-baud line and unpaced, the unit driven by its
// poll(2) loop on the real clock: from the request to its completion
// handler. Then the time from a reply's last byte reaching the line to the
// handler, and the write system calls a frame costs.
#include "protocol/frame.h"
#include "sim/simulator.h"
#include "station/com_port.h"
#include "support/bench_env.h"
#include "support/latency.h"
#include "support/pty_port.h"
#include "support/unit_port.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/select.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;

namespace {

// A status request through the loop: its status, and when its handler ran.
struct Ended {
    std::uint8_t status = unit::kNoReply;
    Clock::time_point at;
};

Ended StatusExchange(unit::Unit& unit, unit::PollLoop& loop) {
    std::optional<Ended> ended;
    unit.Transact(1, {}, false, 1, 200, [&ended](const unit::Reply& reply) {
        ended = Ended{reply.status, Clock::now()};
    });
    loop.RunUntil([&ended] { return ended.has_value(); });
    return ended.value_or(Ended{});
}

void RoundTrip(benchmark::State& state, bool pace) {
    const std::string dir = bench_support::MakeConfigDir();
    sim::Options o;
    o.port = 1;
    o.configDir = dir;
    o.pace = pace;
    sim::Simulator simulator(o);
    unit::Unit unit;
    std::string error;
    if (!bench_support::StartUnitAndOpenPort(simulator, 1, unit, error)) {
        state.SkipWithError(("no simulated unit: " + error).c_str());
        return;
    }
    unit::PollLoop loop(unit);
    bench_support::Latencies lat;
    int failures = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const Ended ended = StatusExchange(unit, loop);
        lat.Add(ended.at - t0);
        failures += ended.status == 0 ? 0 : 1;
    }
    lat.Report(state);
    state.counters["failures"] = failures;
    unit.Port().Close();
    simulator.Stop();
    std::filesystem::remove_all(dir);
}

void BM_TransactStatusPaced(benchmark::State& state) {
    RoundTrip(state, true);
}
void BM_TransactStatusUnpaced(benchmark::State& state) {
    RoundTrip(state, false);
}
BENCHMARK(BM_TransactStatusPaced)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransactStatusUnpaced)->Iterations(200)->Unit(benchmark::kMillisecond);

// A unit played here: the reply is written whole at a random moment of the
// wait, and the time from its last byte reaching the line to the exchange's
// handler is measured.
void BM_ReplyToReturn(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    testing_support::PtyPort port(dir, 1);
    const int master = port.master();
    unit::Unit unit;
    if (koravel::OpenComPort(unit.Port(), 1) != 0) {
        state.SkipWithError("port does not open");
        return;
    }
    unit.SetExchangeEnabled(true);
    unit::PollLoop loop(unit);

    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> writtenAt{0};
    std::thread device([&] {
        frame::Receiver rx;
        unsigned delay = 1;
        while (!stop) {
            std::uint8_t b = 0;
            struct timeval tv {
                0, 20000
            };
            fd_set set;
            FD_ZERO(&set);
            FD_SET(master, &set);
            if (select(master + 1, &set, nullptr, nullptr, &tv) <= 0)
                continue;
            if (read(master, &b, 1) != 1 || rx.Push(b) != frame::Feed::Frame)
                continue;
            delay = (delay * 7 + 3) % 23; // 0..22 ms into the wait
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            Bytes reply = frame::Encode(Bytes{rx.buffer[0], 0x00, 0x2A});
            // Taken as the write starts: the time until the handler runs
            // includes the write itself, never less than the true figure.
            writtenAt = Clock::now().time_since_epoch().count();
            (void)!write(master, reply.data(), reply.size());
        }
    });
    bench_support::Latencies lat;
    for (auto _ : state) {
        const Ended ended = StatusExchange(unit, loop);
        lat.Add(ended.at - Clock::time_point(Clock::duration(writtenAt.load())));
    }
    lat.Report(state);
    stop = true;
    device.join();
    unit.Port().Close();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReplyToReturn)->Iterations(200)->Unit(benchmark::kMillisecond);

// The write system calls per frame, counted through the port's table of
// calls: a status request and the largest set-up block (108 bytes, escapes
// included) sent to a pseudo-terminal.
std::atomic<long> writeCalls{0};
ssize_t CountedWrite(int fd, const void* buf, size_t count) {
    ++writeCalls;
    return ::write(fd, buf, count);
}

void BM_WriteCallsPerFrame(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    testing_support::PtyPort port(dir, 1);
    transport::SystemCalls calls = transport::RealSystemCalls();
    calls.write = CountedWrite;
    unit::Unit unit(unit::SteadyMillis, calls);
    if (koravel::OpenComPort(unit.Port(), 1) != 0) {
        state.SkipWithError("port does not open");
        return;
    }
    Bytes block{0x00, 0x00};
    for (int i = 0; i < 108; ++i)
        block.push_back(static_cast<std::uint8_t>(i * 37)); // F5, F6 and FA among them
    writeCalls = 0;
    long frames = 0;
    for (auto _ : state) {
        unit.SendRequest(1, {});
        unit.SendRequest(4, block);
        frames += 2;
        (void)port.ReadAvailable();
    }
    state.counters["writes_per_frame"] =
        static_cast<double>(writeCalls) / static_cast<double>(frames);
    unit.Port().Close();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteCallsPerFrame)->Iterations(500);

} // namespace
