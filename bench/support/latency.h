// Latency samples and their median and 95th percentile, reported as counters
// of a benchmark.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench_support {

class Latencies {
public:
    void Add(std::chrono::steady_clock::duration d) {
        samples_.push_back(std::chrono::duration<double, std::milli>(d).count());
    }
    // Adds median_ms, p95_ms and max_ms to the benchmark's counters.
    void Report(benchmark::State& state) {
        if (samples_.empty())
            return;
        std::sort(samples_.begin(), samples_.end());
        auto at = [this](double q) {
            size_t i = static_cast<size_t>(q * static_cast<double>(samples_.size() - 1) + 0.5);
            return samples_[std::min(i, samples_.size() - 1)];
        };
        state.counters["median_ms"] = at(0.5);
        state.counters["p95_ms"] = at(0.95);
        state.counters["max_ms"] = samples_.back();
    }

private:
    std::vector<double> samples_;
};

} // namespace bench_support
