// Finding names without regard to ASCII case in time that does not grow with
// the number of names, whatever the names are.
//
// The hash is SipHash-1-3 under a key drawn at random once per process: a
// file cannot be made to collide (many section or key names on one slot of
// the table) without knowing the key. The table is open addressing over
// 64-bit hashes; only entries whose hashes agree are compared by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ini {

// The hash of a name with ASCII capitals taken as small letters (and no other
// byte changed), under the process's key. scope keeps names of different
// scopes (a key's section) apart.
std::uint64_t FoldedNameHash(std::string_view name, std::uint64_t scope = 0);

// Names, each one standing for a value (an index of the caller's), the first
// of equal names kept.
class NameIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Empties the index, with room for count names.
    void Reset(std::size_t count);

    // The value of the name with this hash that same(value) accepts; kNone
    // when there is none.
    template <typename Same> std::uint32_t Find(std::uint64_t hash, Same same) const {
        if (slots_.empty())
            return kNone;
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.value == kNone)
                return kNone;
            if (slot.hash == hash && same(slot.value))
                return slot.value;
        }
    }

    // Adds value for the name with this hash unless an equal name (same
    // accepts its value) is there already. The value that stands for the
    // name afterwards: value when it was added, else the earlier one's.
    template <typename Same> std::uint32_t Add(std::uint64_t hash, std::uint32_t value, Same same) {
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            Slot& slot = slots_[i];
            if (slot.value == kNone) {
                slot = Slot{hash, value};
                return value;
            }
            if (slot.hash == hash && same(slot.value))
                return slot.value;
        }
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t value = kNone;
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

} // namespace ini
