// The station server under a crowd, as the operator runs it: koraveld as a
// child process, the simulated unit in the benchmark (unpaced, so that the
// unit's reply is the moment the status request reaches it), 50 WebSocket
// clients on /api/events and 5 unit-protocol clients polling every 400 ms.
//
//   LineTraffic/1 and /55: status requests on the line per 400 ms tick with
//                   one unit-protocol client, and with the whole crowd
//   StateToEvents:  the unit's reply carrying a new frequency to that state
//                   reaching each of the 50 WebSocket clients (p95 over all)
//   CommandToWire:  an HTTP POST /api/band sent to the tune request reaching
//                   the unit (p95)
//   Idle:           the server's CPU over a stretch with the crowd connected
//                   and the unit standing still (KORAVEL_BENCH_IDLE_S, 20 s),
//                   and its peak memory
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "sim/simulator.h"
#include "support/bench_env.h"
#include "support/latency.h"
#include "support/process_stats.h"
#include "support/server_process.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;

namespace {

constexpr int kEventClients = 50;
constexpr int kUnitClients = 5;
constexpr int kPollMs = 400;

int IdleSeconds() {
    const char* text = std::getenv("KORAVEL_BENCH_IDLE_S");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 20;
}

bool WriteAll(int fd, const std::string& text) {
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// One WebSocket client: the frequency of the last state it got, and when.
struct EventClient {
    int fd = -1;
    std::string buffer;
    int khz = -1;
    Clock::time_point at;
};

// The crowd, served by a thread of its own with poll(2).
class Crowd {
public:
    Crowd(int httpPort, int unitPort, int eventClients, int unitClients) {
        for (int i = 0; i < eventClients; ++i) {
            EventClient c;
            c.fd = testing_support::ConnectTcp("127.0.0.1", httpPort);
            const std::string request =
                "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(httpPort) +
                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
            if (c.fd >= 0 && WriteAll(c.fd, request))
                events_.push_back(c);
        }
        for (int i = 0; i < unitClients; ++i)
            units_.push_back(testing_support::ConnectTcp("127.0.0.1", unitPort));
        thread_ = std::thread([this] { Run(); });
    }
    ~Crowd() {
        stop_ = true;
        thread_.join();
        for (auto& c : events_)
            close(c.fd);
        for (int fd : units_)
            close(fd);
    }
    int Connected() const { return static_cast<int>(events_.size()); }

    // Waits until every WebSocket client has a state with khz; the times.
    bool WaitAll(int khz, std::vector<Clock::time_point>& times, int ms = 10000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                bool all = true;
                for (const auto& c : events_)
                    all = all && c.khz == khz;
                if (all) {
                    times.clear();
                    for (const auto& c : events_)
                        times.push_back(c.at);
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

private:
    void Run() {
        std::vector<pollfd> fds;
        for (const auto& c : events_)
            fds.push_back({c.fd, POLLIN, 0});
        for (int fd : units_)
            fds.push_back({fd, POLLIN, 0});
        auto nextPoll = Clock::now();
        std::uint8_t sequence = 1;
        char buffer[8192];
        while (!stop_) {
            if (Clock::now() >= nextPoll) {
                // Each unit-protocol client asks as the window does.
                for (int fd : units_) {
                    sequence = static_cast<std::uint8_t>((sequence & 0x7F) + 1);
                    const Bytes wire = frame::Encode(Bytes{sequence, koravel::kCommandStatus});
                    (void)!write(fd, wire.data(), wire.size());
                }
                nextPoll += std::chrono::milliseconds(kPollMs);
            }
            if (poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            const auto now = Clock::now();
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) == 0)
                    continue;
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0 || i >= events_.size())
                    continue; // unit-protocol answers are read and dropped
                std::lock_guard<std::mutex> lock(mutex_);
                EventClient& c = events_[i];
                c.buffer.append(buffer, static_cast<std::size_t>(n));
                Messages(c, now);
            }
        }
    }

    // Takes the handshake and whole text frames out of the client's buffer.
    static void Messages(EventClient& c, Clock::time_point now) {
        if (c.buffer.starts_with("HTTP/")) {
            const std::size_t end = c.buffer.find("\r\n\r\n");
            if (end == std::string::npos)
                return;
            c.buffer.erase(0, end + 4);
        }
        for (;;) {
            if (c.buffer.size() < 2)
                return;
            const auto b = [&c](std::size_t i) { return static_cast<std::uint8_t>(c.buffer[i]); };
            std::size_t length = b(1) & 0x7F;
            std::size_t header = 2;
            if (length == 126) {
                if (c.buffer.size() < 4)
                    return;
                length = (b(2) << 8) | b(3);
                header = 4;
            } else if (length == 127) {
                return; // the state is never that long
            }
            if (c.buffer.size() < header + length)
                return;
            const std::string text = c.buffer.substr(header, length);
            c.buffer.erase(0, header + length);
            const std::size_t at = text.find("\"frequency_khz\":");
            if (at != std::string::npos) {
                const int khz = std::atoi(text.c_str() + at + 16);
                if (khz != c.khz) {
                    c.khz = khz;
                    c.at = now;
                }
            }
        }
    }

    std::vector<EventClient> events_;
    std::vector<int> units_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The unit, the server and the moments the unit got what it watches for.
class Bench {
public:
    Bench() {
        dir_ = bench_support::MakeConfigDir();
        sim::Options options;
        options.port = 1;
        options.configDir = dir_;
        options.pace = false;
        options.unit.startFrequencyKhz = 7050;
        options.unit.motionBaseMs = 1;
        options.unit.motionMsPerKhz = 0;
        unit_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ok_ = unit_->Start(error);
        unit_->SetResponder([this](const Bytes& request) -> std::optional<Bytes> {
            std::lock_guard<std::mutex> lock(mutex_);
            if (request.size() >= 2 && request[1] == koravel::kCommandStatus && changeAsked_) {
                changeAsked_ = false;
                replyAt_ = Clock::now();
            }
            if (request.size() >= 2 && request[1] == koravel::kCommandTune)
                tuneAt_ = Clock::now();
            return std::nullopt;
        });
        ok_ = ok_ && server_.Start({"--port", "1"}, error);
        if (!ok_)
            std::fprintf(stderr, "%s\n", error.c_str());
    }
    ~Bench() {
        server_.Stop();
        unit_->Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    bool ok() const { return ok_; }
    sim::Simulator& Unit() { return *unit_; }
    testing_support::ServerProcess& Server() { return server_; }

    // The unit changes its frequency; when its next status reply went out.
    void ChangeTo(int khz) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            changeAsked_ = true;
            replyAt_ = {};
        }
        unit_->Modify(
            [khz](sim::UnitState& s) { s.frequencyKhz = static_cast<std::uint16_t>(khz); });
    }
    Clock::time_point ReplyAt() {
        std::lock_guard<std::mutex> lock(mutex_);
        return replyAt_;
    }
    Clock::time_point TuneAt() {
        std::lock_guard<std::mutex> lock(mutex_);
        return tuneAt_;
    }

    double CpuSeconds() const { return bench_support::CpuSeconds(server_.process.Pid()); }
    double PeakMegabytes() const { return bench_support::PeakMegabytes(server_.process.Pid()); }

private:
    std::string dir_;
    std::unique_ptr<sim::Simulator> unit_;
    testing_support::ServerProcess server_;
    bool ok_ = false;
    std::mutex mutex_;
    bool changeAsked_ = false;
    Clock::time_point replyAt_;
    Clock::time_point tuneAt_;
};

void LineTraffic(benchmark::State& state) {
    Bench bench;
    if (!bench.ok())
        return state.SkipWithError("the unit or koraveld does not start");
    const bool crowd = state.range(0) > 1;
    Crowd clients(bench.Server().httpPort, bench.Server().unitPort, crowd ? kEventClients : 0,
                  crowd ? kUnitClients : 1);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double perTick = 0;
    for (auto _ : state) {
        bench.Unit().ClearRequests();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(8));
        const double ticks =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kPollMs;
        perTick = static_cast<double>(bench.Unit().RequestCount(koravel::kCommandStatus)) / ticks;
    }
    state.counters["status_per_tick"] = perTick;
}

void StateToEvents(benchmark::State& state) {
    Bench bench;
    if (!bench.ok())
        return state.SkipWithError("the unit or koraveld does not start");
    Crowd clients(bench.Server().httpPort, bench.Server().unitPort, kEventClients, kUnitClients);
    std::vector<Clock::time_point> times;
    if (clients.Connected() != kEventClients || !clients.WaitAll(7050, times))
        return state.SkipWithError("the WebSocket clients did not all connect");
    bench_support::Latencies latencies;
    int khz = 7100;
    for (auto _ : state) {
        khz = khz == 7100 ? 7200 : 7100;
        bench.ChangeTo(khz);
        if (!clients.WaitAll(khz, times))
            return state.SkipWithError("a client did not get the change");
        const Clock::time_point reply = bench.ReplyAt();
        for (const auto& t : times)
            latencies.Add(t - reply);
    }
    latencies.Report(state);
}

void CommandToWire(benchmark::State& state) {
    Bench bench;
    if (!bench.ok())
        return state.SkipWithError("the unit or koraveld does not start");
    Crowd clients(bench.Server().httpPort, bench.Server().unitPort, kEventClients, kUnitClients);
    bench_support::Latencies latencies;
    bool twenty = false;
    for (auto _ : state) {
        twenty = !twenty;
        const auto sent = Clock::now();
        const auto r = testing_support::HttpCall("127.0.0.1", bench.Server().httpPort, "POST",
                                                 "/api/band", {"Content-Type: application/json"},
                                                 twenty ? R"({"band":"20"})" : R"({"band":"40"})");
        if (r.status != 200)
            return state.SkipWithError("the command was not done");
        latencies.Add(bench.TuneAt() - sent);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    latencies.Report(state);
}

void Idle(benchmark::State& state) {
    Bench bench;
    if (!bench.ok())
        return state.SkipWithError("the unit or koraveld does not start");
    Crowd clients(bench.Server().httpPort, bench.Server().unitPort, kEventClients, kUnitClients);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (auto _ : state) {
        const double before = bench.CpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds()));
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["cpu_percent"] = 100.0 * (bench.CpuSeconds() - before) / wall;
    }
    state.counters["peak_rss_mb"] = bench.PeakMegabytes();
}

} // namespace

BENCHMARK(LineTraffic)->Arg(1)->Arg(55)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(StateToEvents)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(CommandToWire)->Iterations(60)->Unit(benchmark::kMillisecond);
BENCHMARK(Idle)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
