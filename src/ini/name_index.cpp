#include "ini/name_index.h"

#include <chrono>
#include <cstring>
#include <sys/random.h>

namespace ini {

namespace {

struct SipKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

std::uint64_t Mix64(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

SipKey DrawKey() {
    std::uint64_t words[2] = {0, 0};
    if (::getrandom(words, sizeof words, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof words)) {
        // No entropy yet (early at boot): the clock and where things lie in
        // memory, which a file's author cannot know either.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        words[0] = Mix64(static_cast<std::uint64_t>(now) ^ reinterpret_cast<std::uintptr_t>(&now));
        words[1] = Mix64(words[0] ^ reinterpret_cast<std::uintptr_t>(&DrawKey));
    }
    return SipKey{words[0], words[1]};
}

const SipKey& ProcessKey() {
    static const SipKey key = DrawKey();
    return key;
}

std::uint64_t Rotl(std::uint64_t x, int b) {
    return (x << b) | (x >> (64 - b));
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void Round() {
        v0 += v1;
        v1 = Rotl(v1, 13);
        v1 ^= v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = Rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = Rotl(v1, 17);
        v1 ^= v2;
        v2 = Rotl(v2, 32);
    }
    void Absorb(std::uint64_t m) {
        v3 ^= m;
        Round();
        v0 ^= m;
    }
};

// Eight bytes with every ASCII capital made small, all at once: a byte gets
// 0x20 added when it lies in 'A'..'Z' (its high bit clear).
std::uint64_t FoldWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t fromA = low7 + kOnes * (0x80 - 'A');
    const std::uint64_t pastZ = low7 + kOnes * (0x80 - 'Z' - 1);
    const std::uint64_t capitals = fromA & ~pastZ & ~word & kHigh;
    return word | (capitals >> 2);
}

std::uint64_t LoadWord(const char* p, std::size_t n) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, n); // little-endian hosts: the first byte lowest
    return word;
}

} // namespace

std::uint64_t FoldedNameHash(std::string_view name, std::uint64_t scope) {
    const SipKey& key = ProcessKey();
    const std::uint64_t k1 = key.k1 ^ scope;
    SipState s{key.k0 ^ 0x736F6D6570736575u, k1 ^ 0x646F72616E646F6Du, key.k0 ^ 0x6C7967656E657261u,
               k1 ^ 0x7465646279746573u};
    const std::size_t size = name.size();
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8)
        s.Absorb(FoldWord(LoadWord(name.data() + i, 8)));
    const std::uint64_t last =
        FoldWord(LoadWord(name.data() + i, size - i)) | (static_cast<std::uint64_t>(size) << 56);
    s.Absorb(last);
    s.v2 ^= 0xFF;
    s.Round();
    s.Round();
    s.Round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

void NameIndex::Reset(std::size_t count) {
    std::size_t capacity = 16;
    while (capacity < 2 * count)
        capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
}

} // namespace ini
