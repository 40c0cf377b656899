// A logger's RadioInfo datagram to the unit's line: `koravelctl follow
// --source radioinfo:PORT` as a child process, the datagram broadcast on
// loopback here, and the unit played here on a pseudo-terminal that notes
// when the first byte of each frame arrives and answers at once.
//
//   datagram to wire: from sendto() returning to the first byte of the tune
//                     command on the line (median, p95)
#include "support/answering_unit.h"
#include "support/latency.h"
#include "support/process.h"
#include "support/pty_port.h"
#include "support/rig_process.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

std::string RadioInfo(unsigned khz) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<RadioInfo>\r\n  <app>N1MM</app>\r\n"
           "  <RadioNr>1</RadioNr>\r\n  <Freq>" +
           std::to_string(khz * 100) + "</Freq>\r\n  <TXFreq>" + std::to_string(khz * 100) +
           "</TXFreq>\r\n  <Mode>USB</Mode>\r\n  <IsTransmitting>False</IsTransmitting>\r\n"
           "  <ActiveRadioNr>1</ActiveRadioNr>\r\n</RadioInfo>\r\n";
}

void DatagramToWire(benchmark::State& state) {
    testing_support::TempConfigDir dir;
    testing_support::PtyPort port(dir.path(), 1);
    const int master = port.master();
    const std::uint16_t udpPort = testing_support::FreeLoopbackPort();

    bench_support::AnsweringUnit unit(master);

    testing_support::ChildProcess follow;
    if (!follow.Start(
            testing_support::BinPath("koravelctl"),
            {"--port", "1", "follow", "--source", "radioinfo:" + std::to_string(udpPort)})) {
        state.SkipWithError("koravelctl follow does not start");
        return;
    }
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(sender, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(udpPort);
    ::inet_pton(AF_INET, "127.255.255.255", &to.sin_addr);
    auto send = [&](unsigned khz) {
        const std::string datagram = RadioInfo(khz);
        unit.Reset();
        ::sendto(sender, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
        return Clock::now();
    };
    // Until the listener is up, datagrams go unheard: send until one lands.
    const auto ready = Clock::now() + std::chrono::seconds(20);
    bool up = false;
    while (!up && Clock::now() < ready) {
        send(7000);
        const auto wait = Clock::now() + std::chrono::milliseconds(200);
        while (!unit.FirstByteAt() && Clock::now() < wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        up = unit.FirstByteAt().has_value();
    }
    bench_support::Latencies latencies;
    unsigned khz = 7000;
    bool failed = !up;
    for (auto _ : state) {
        if (failed)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the last reply is in
        const auto sent = send(++khz);
        const auto limit = sent + std::chrono::seconds(5);
        while (!unit.FirstByteAt() && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const std::optional<Clock::time_point> at = unit.FirstByteAt();
        if (!at) {
            failed = true;
            break;
        }
        latencies.Add(*at - sent);
    }
    ::close(sender);
    follow.Signal(SIGINT);
    follow.Wait(10000);
    if (failed) {
        state.SkipWithError("a datagram's frequency did not reach the line");
        return;
    }
    latencies.Report(state);
}

BENCHMARK(DatagramToWire)->Iterations(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
