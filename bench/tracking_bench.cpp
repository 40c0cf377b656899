// Radio tracking end to end, with both programs as the operator runs them:
// Hamlib's rigctld (the dummy rig) on loopback, the window (offscreen) or
// `koravelctl follow` as a child process, and the simulated unit here, at its
// real 19200-baud pacing.
//
//   rig change to unit: from `rigctl F <hz>` returning to the command-3 frame
//                       with that frequency arriving at the unit (median, p95)
//   idle CPU:           utime + stime of the program over a stretch with the
//                       rig on line and unchanged (KORAVEL_BENCH_IDLE_S, 20 s)
#include "protocol/bytes.h"
#include "sim/simulator.h"
#include "support/latency.h"
#include "support/process.h"
#include "support/process_stats.h"
#include "support/rig_process.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;
using testing_support::ChildProcess;
using testing_support::RigctldProcess;

namespace {

enum class Program { Window, Follow };

int IdleSeconds() {
    const char* text = std::getenv("KORAVEL_BENCH_IDLE_S");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 20;
}

// Everything one measurement needs, torn down in reverse.
class Station {
public:
    explicit Station(Program program) : program_(program) {}
    ~Station() {
        child_.reset();
        rig_.reset();
        if (unit_)
            unit_->Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Starts it all and waits until the rig's first frequency reached the
    // unit. The reason in error when something does not start.
    bool Start(std::string& error) {
        char pattern[] = "/tmp/koravel-track-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            error = "no temporary folder";
            return false;
        }
        dir_ = pattern;
        setenv("KORAVEL_CONFIG_DIR", dir_.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

        rig_ = std::make_unique<RigctldProcess>(testing_support::FreeLoopbackPort());
        if (!rig_->Start()) {
            error = "rigctld does not start (package libhamlib-utils)";
            return false;
        }
        std::ofstream(dir_ + "/omnirig.ini")
            << "[Rig1]\nModel=2\nPort=" << rig_->Address() << "\n[Rig2]\nModel=0\n";
        std::ofstream(dir_ + "/koravel.ini") << "[General]\nSerialport=1\n[OmniRig]\nRig1=1\n";

        sim::Options options;
        options.port = 1;
        options.configDir = dir_;
        unit_ = std::make_unique<sim::Simulator>(options);
        if (!unit_->Start(error))
            return false;
        unit_->SetResponder([this](const Bytes& request) -> std::optional<Bytes> {
            // request: sequence, command, argument, checksum
            if (request.size() == 5 && request[1] == 0x03) {
                const unsigned khz = request[2] | (request[3] << 8);
                if (khz == expectedKhz_.load() && arrivedAt_.load() == 0)
                    arrivedAt_ = Clock::now().time_since_epoch().count();
            }
            return std::nullopt; // the unit answers as usual
        });

        if (!Rigctl(7000000))
            return false;
        Expect(7000);
        child_ = std::make_unique<ChildProcess>();
        const bool started =
            program_ == Program::Window
                ? child_->Start(testing_support::BinPath("koravel"), {})
                : child_->Start(testing_support::BinPath("koravelctl"), {"--port", "1", "follow"});
        if (!started || !WaitForArrival(std::chrono::seconds(30))) {
            error = "the rig's frequency did not reach the unit: " + child_->Err();
            return false;
        }
        return true;
    }

    bool Rigctl(int hz) { return testing_support::Rigctl(rig_->Port(), {"F", std::to_string(hz)}); }

    void Expect(unsigned khz) {
        arrivedAt_ = 0;
        expectedKhz_ = khz;
    }

    bool WaitForArrival(Clock::duration limit) {
        const auto end = Clock::now() + limit;
        while (arrivedAt_.load() == 0) {
            if (Clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }

    Clock::time_point ArrivedAt() const {
        return Clock::time_point(Clock::duration(arrivedAt_.load()));
    }

    // utime + stime of the program, in seconds.
    double CpuSeconds() const { return bench_support::CpuSeconds(child_->Pid()); }

    std::size_t TuneCount() const { return unit_->RequestCount(0x03); }

private:
    Program program_;
    std::string dir_;
    std::unique_ptr<RigctldProcess> rig_;
    std::unique_ptr<sim::Simulator> unit_;
    std::unique_ptr<ChildProcess> child_;
    std::atomic<unsigned> expectedKhz_{0};
    std::atomic<Clock::rep> arrivedAt_{0};
};

void RigChangeToUnit(benchmark::State& state, Program program) {
    Station station(program);
    std::string error;
    if (!station.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    bench_support::Latencies latencies;
    unsigned khz = 7000;
    for (auto _ : state) {
        ++khz;
        station.Expect(khz);
        if (!station.Rigctl(static_cast<int>(khz) * 1000)) {
            state.SkipWithError("rigctl failed");
            return;
        }
        const auto returned = Clock::now();
        if (!station.WaitForArrival(std::chrono::seconds(10))) {
            state.SkipWithError("a frequency did not reach the unit");
            return;
        }
        latencies.Add(station.ArrivedAt() - returned);
    }
    latencies.Report(state);
}

void IdleCpu(benchmark::State& state, Program program) {
    Station station(program);
    std::string error;
    if (!station.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3)); // the start-up settles
    const int seconds = IdleSeconds();
    for (auto _ : state) {
        const std::size_t tunes = station.TuneCount();
        const double cpu0 = station.CpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = station.CpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["tunes_while_idle"] = static_cast<double>(station.TuneCount() - tunes);
    }
}

BENCHMARK_CAPTURE(RigChangeToUnit, window, Program::Window)
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RigChangeToUnit, follow, Program::Follow)
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(IdleCpu, window, Program::Window)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(IdleCpu, follow, Program::Follow)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
