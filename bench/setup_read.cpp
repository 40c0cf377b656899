// Reading a set-up file of the largest size the reader takes (4 MiB), in the
// shapes that cost most: everything a send or a check does before the first
// block goes out (the file read, every block built, the file checked and
// what a send would ask about), timed for each shape. The figure is the
// slowest shape's time.
//
// Shapes: one section of short keys (about 700,000); many small sections;
// one section name again and again; one key name again and again; names
// that fold alike under a plain case-blind hash (their bytes differ only in
// bit 5, outside the letters).
#include "ini/profile.h"
#include "setup/check.h"
#include "setup/setup_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kFirmware113 = 269;
constexpr std::size_t kFileBytes = ini::kMaxFileSize;

// A short name for n: its digits in base 36.
std::string ShortName(std::size_t n) {
    std::string name;
    do {
        name += "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36];
        n /= 36;
    } while (n != 0);
    return name;
}

// Lines made by line(i), for i = 0, 1, ..., until the next would pass the size.
template <typename Line> std::string Fill(std::string text, Line line) {
    for (std::size_t i = 0;; ++i) {
        const std::string next = line(i);
        if (text.size() + next.size() > kFileBytes)
            return text;
        text += next;
    }
}

std::string Shape(int shape) {
    switch (shape) {
    case 0: // one section of short keys
        return Fill("[Factory]\n", [](std::size_t i) { return ShortName(i) + "=1\n"; });
    case 1: // many sections
        return Fill("", [](std::size_t i) { return "[s" + ShortName(i) + "]\nk=1\n"; });
    case 2: // one section name again and again
        return Fill("", [](std::size_t) { return std::string("[Factory]\nmot_maxvel=1\n"); });
    case 3: // one key name again and again
        return Fill("[Factory]\n", [](std::size_t) { return std::string("mot_maxvel=1\n"); });
    default: { // names whose bytes differ only in bit 5 outside the letters
        auto name = [](std::size_t i) {
            std::string s(20, '\x10');
            for (std::size_t bit = 0; bit < s.size(); ++bit) {
                if ((i >> bit) & 1)
                    s[bit] = '\x30';
            }
            return s;
        };
        return Fill("[Factory]\n", [&name](std::size_t i) {
            std::string line = i % 2 == 0 ? "[" : "";
            line += name(i / 2);
            line += i % 2 == 0 ? "]\n" : "=1\n";
            return line;
        });
    }
    }
}

void BM_ReadWorstCaseSetupFile(benchmark::State& state) {
    char path[] = "/tmp/koravel-bench-setup-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    ::close(fd);
    const std::string text = Shape(static_cast<int>(state.range(0)));
    std::ofstream(path, std::ios::binary) << text;
    double worst = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        setup::OpenedFile opened = setup::OpenSetupFile(path);
        std::size_t findings = 0;
        if (opened.file) {
            const setup::CheckReport report = setup::CheckSetupFile(*opened.file, kFirmware113);
            const setup::SendConcerns concerns =
                setup::FindSendConcerns(*opened.file, kFirmware113, report.blocks);
            findings = report.strayKeys.size() + report.repeatedSections.size() +
                       concerns.missingKeys.size();
            for (const setup::BuiltBlock& block : report.blocks)
                findings += block.diagnostics.size();
        }
        benchmark::DoNotOptimize(findings);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        worst = std::max(worst, took.count());
    }
    std::remove(path);
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["worst_s"] = worst;
}

} // namespace

BENCHMARK(BM_ReadWorstCaseSetupFile)
    ->DenseRange(0, 4)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
