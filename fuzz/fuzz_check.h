// What every fuzz target shares: a property check that stops the run with a
// message (libFuzzer then saves the input as a crash), and a small
// deterministic random source for choices that the input drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Stops the run when a property does not hold. Not compiled out: the targets
// are there to check properties, not only to survive the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// Names as the INI rules compare them: equal without regard to ASCII case.
inline bool SameName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// FNV-1a over an input: a seed for the choices it drives.
inline std::uint32_t InputHash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

// xorshift32: the same seed always gives the same choices, so a saved input
// replays exactly.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : state_(seed == 0 ? 0x9E3779B9u : seed) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // A number from 0 to bound - 1 (bound > 0).
    std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }

private:
    std::uint32_t state_;
};

} // namespace fuzz
