// A whole set-up file sent to the simulated unit at its real 19200-baud
// pacing, against the least it can take: the line time of every byte that
// crossed the line, both ways (escaped frames of the preparing exchange and
// of the 68 blocks, at 10 bits a byte), plus the 100 ms the link settles
// before the first request. The transfer is the setup::Transfer object over
// a unit driven by its poll(2) loop on the real clock, as koravelctl drives
// it.
#include "setup/transfer.h"
#include "protocol/bytes.h"
#include "protocol/frame.h"
#include "sim/simulator.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include "support/bench_env.h"
#include "support/unit_port.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;

namespace {

constexpr double kByteSeconds = 10.0 / 19200.0;
constexpr double kSettleSeconds = setup::kSettleMs / 1000.0;
constexpr int kFirmware113 = 269;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    std::string digits;
    for (char c : hex) {
        if (c != ' ')
            digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

// One frame of the unit's trace: who sent it and its size on the line.
struct TracedFrame {
    bool request = false;
    std::uint8_t command = 0; // of a request
    std::size_t wireBytes = 0;
};

// The unit's trace ("rx" requests, "tx" replies, content with checksum),
// each frame counted as it went over the line: start and end bytes, escapes.
std::vector<TracedFrame> ReadTrace(const std::string& path) {
    std::vector<TracedFrame> frames;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 4)
            continue;
        const Bytes content = FromHex(line.substr(3));
        if (content.empty())
            continue;
        TracedFrame f;
        f.request = line.compare(0, 2, "rx") == 0;
        f.command = f.request && content.size() > 1 ? content[1] : 0;
        f.wireBytes = frame::Encode(koravel::ByteView(content.data(), content.size() - 1)).size();
        frames.push_back(f);
    }
    return frames;
}

void BM_TransferPaced(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    const std::string trace = dir + "/unit.trace";
    const std::string file = std::string(KORAVEL_SOURCE_DIR) + "/tests/data/kv100-fw113.koravel";
    sim::Options o;
    o.port = 1;
    o.configDir = dir;
    o.pace = true;
    o.traceFile = trace;
    sim::Simulator simulator(o);
    unit::Unit unit;
    std::string error;
    if (!bench_support::StartUnitAndOpenPort(simulator, 1, unit, error)) {
        state.SkipWithError(("no simulated unit: " + error).c_str());
        return;
    }
    unit::PollLoop loop(unit);
    setup::Transfer transfer(unit);

    // Times within each transfer: from the start to the first block (the
    // 100 ms settle, the drain and the preparing exchange), and per block.
    double totalSeconds = 0;
    double prepareSeconds = 0;
    double blockSeconds = 0;
    int failures = 0;
    Clock::time_point started;
    Clock::time_point blockStarted;
    bool firstBlock = true;
    setup::TransferHooks hooks;
    hooks.Starting = [&] { started = Clock::now(); };
    // What the window's poll would have decoded from this unit.
    hooks.PolledFirmware = [] { return kFirmware113; };
    hooks.BlockStarting = [&](const setup::BlockSpec&, int, int) {
        blockStarted = Clock::now();
        if (firstBlock)
            prepareSeconds += std::chrono::duration<double>(blockStarted - started).count();
        firstBlock = false;
    };
    hooks.BlockDone = [&](const setup::BlockSpec&, const setup::BlockResult&, int, int) {
        blockSeconds += std::chrono::duration<double>(Clock::now() - blockStarted).count();
    };

    for (auto _ : state) {
        firstBlock = true;
        const auto t0 = Clock::now();
        std::optional<setup::TransferResult> result;
        transfer.SendFile(file, hooks, [&](const setup::TransferResult& r) { result = r; });
        loop.RunUntil([&result] { return result.has_value(); });
        totalSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        if (!result || !result->ok() || result->blocksWritten != setup::kBlockCount)
            ++failures;
    }
    unit.Port().Close();
    simulator.Stop();

    // The line time of what crossed the line, split as the times above.
    double prepareBytes = 0;
    double blockBytes = 0;
    bool statusExchange = false;
    for (const TracedFrame& f : ReadTrace(trace)) {
        if (f.request)
            statusExchange = f.command == 1;
        (statusExchange ? prepareBytes : blockBytes) += static_cast<double>(f.wireBytes);
    }
    const double n = static_cast<double>(state.iterations());
    const double line = (prepareBytes + blockBytes) / n * kByteSeconds;
    const double limit = line + kSettleSeconds;
    const double measured = totalSeconds / n;
    const double blockLimit = blockBytes / n * kByteSeconds;
    state.counters["measured_s"] = measured;
    state.counters["line_s"] = line;
    state.counters["limit_s"] = limit;
    state.counters["ratio"] = measured / limit;
    state.counters["wire_bytes"] = (prepareBytes + blockBytes) / n;
    // Where the time beyond the limit goes: preparing the link (the settle,
    // the drain, one status exchange), and each block's wait beyond its own
    // line time (the unit's turnaround and noticing the reply).
    state.counters["prepare_ms"] = prepareSeconds / n * 1000.0;
    state.counters["prepare_limit_ms"] =
        (prepareBytes / n * kByteSeconds + kSettleSeconds) * 1000.0;
    state.counters["blocks_s"] = blockSeconds / n;
    state.counters["blocks_limit_s"] = blockLimit;
    state.counters["blocks_ratio"] = blockSeconds / n / blockLimit;
    state.counters["wait_beyond_line_ms_per_block"] =
        (blockSeconds / n - blockLimit) * 1000.0 / setup::kBlockCount;
    state.counters["failures"] = failures;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TransferPaced)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
