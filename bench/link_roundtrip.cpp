// Transact against the simulated unit over a pseudo-terminal, paced like the
// real 19200-baud line and unpaced; the time from a reply's last byte
// reaching the line to Transact returning; and the write system calls a
// frame costs.
#include "transport/comm32.h"
#include "unit/exchange.h"
#include "protocol/frame.h"
#include "sim/simulator.h"
#include "support/bench_env.h"
#include "support/latency.h"
#include "support/pty_port.h"
#include "support/unit_port.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;

namespace {

void RoundTrip(benchmark::State& state, bool pace) {
    const std::string dir = bench_support::MakeConfigDir();
    sim::Options o;
    o.port = 1;
    o.configDir = dir;
    o.pace = pace;
    sim::Simulator simulator(o);
    std::string error;
    if (!bench_support::StartUnitAndOpenPort(simulator, 1, error)) {
        state.SkipWithError(("no simulated unit: " + error).c_str());
        return;
    }
    bench_support::InstallRealTimeHooks();
    exchange::ExchangeEnabled = true;
    bench_support::Latencies lat;
    int failures = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        std::uint8_t r = exchange::Transact(1, Bytes{}, false, 1, 200);
        lat.Add(Clock::now() - t0);
        failures += r == 0 ? 0 : 1;
    }
    lat.Report(state);
    state.counters["failures"] = failures;
    comm32::ClosePort();
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
// wait, and the time from its last byte reaching the line to Transact
// returning is measured.
void BM_ReplyToReturn(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    testing_support::PtyPort port(dir, 1);
    const int master = port.master();
    if (comm32::OpenPort("bio1") != 0 || comm32::ConfigurePort(19200, 'n', 8, 1, 'N') != 0) {
        state.SkipWithError("port does not open");
        return;
    }
    bench_support::InstallRealTimeHooks();
    exchange::ExchangeEnabled = true;

    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> writtenAt{0};
    std::thread unit([&] {
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
            delay = (delay * 7 + 3) % 23; // 0..22 ms, spread over the wait's passes
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            Bytes reply = frame::Encode(Bytes{rx.buffer[0], 0x00, 0x2A});
            // Taken as the write starts: the time until Transact returns
            // includes the write itself, never less than the true figure.
            writtenAt = Clock::now().time_since_epoch().count();
            (void)!write(master, reply.data(), reply.size());
        }
    });
    bench_support::Latencies lat;
    for (auto _ : state) {
        exchange::Transact(1, Bytes{}, false, 1, 200);
        const auto returned = Clock::now();
        lat.Add(returned - Clock::time_point(Clock::duration(writtenAt.load())));
    }
    lat.Report(state);
    stop = true;
    unit.join();
    comm32::ClosePort();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReplyToReturn)->Iterations(200)->Unit(benchmark::kMillisecond);

// The write system calls per frame, counted through the serial layer's seam:
// a status request and the largest set-up block (108 bytes, escapes
// included) sent to a pseudo-terminal.
std::atomic<long> writeCalls{0};
ssize_t CountedWrite(int fd, const void* buf, size_t count) {
    ++writeCalls;
    return ::write(fd, buf, count);
}

void BM_WriteCallsPerFrame(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    testing_support::PtyPort port(dir, 1);
    if (comm32::OpenPort("bio1") != 0 || comm32::ConfigurePort(19200, 'n', 8, 1, 'N') != 0) {
        state.SkipWithError("port does not open");
        return;
    }
    bench_support::InstallRealTimeHooks();
    comm32::Sys.write = CountedWrite;
    Bytes block{0x8D, 0x04, 0x00, 0x00};
    for (int i = 0; i < 108; ++i)
        block.push_back(static_cast<std::uint8_t>(i * 37)); // F5, F6 and FA among them
    const Bytes status{0x0D, 0x01};
    writeCalls = 0;
    long frames = 0;
    for (auto _ : state) {
        exchange::SendFrame(status);
        exchange::SendFrame(block);
        frames += 2;
        (void)port.ReadAvailable();
    }
    state.counters["writes_per_frame"] =
        static_cast<double>(writeCalls) / static_cast<double>(frames);
    comm32::Sys = comm32::RealSystemCalls();
    comm32::ClosePort();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteCallsPerFrame)->Iterations(500);

} // namespace
