// The frame receiver written a second time, plainly from the wire format and
// apart from frame::Receiver, for the targets to compare against:
//   F5 starts a frame (what came before is dropped), F6 makes the next byte
//   stand for itself with bit 7 set, FA ends a frame, which counts when its
//   content holds at least two bytes and the checksum run over all of it
//   gives 1. Bytes outside a frame are ignored; a frame that grows past the
//   longest content plus its checksum is dropped until the next start byte.
#pragma once

#include "protocol/bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace fuzz {

constexpr std::size_t kLongestFrame = 255 + 1;

inline bool ChecksumGivesOne(koravel::ByteView content) {
    unsigned sum = 0x55;
    for (std::uint8_t b : content)
        sum = ((sum ^ b) + 1) & 0xFF;
    return sum == 1;
}

struct ReferenceReceiver {
    enum class Event { None, Frame, Rejected };

    koravel::Bytes content;
    bool open = false;
    bool escaped = false;

    Event Push(std::uint8_t b) {
        if (b == 0xF5) {
            content.clear();
            open = true;
            escaped = false;
            return Event::None;
        }
        if (b == 0xF6) {
            escaped = true;
            return Event::None;
        }
        if (b == 0xFA) {
            if (!open)
                return Event::None;
            open = false;
            return content.size() >= 2 && ChecksumGivesOne(content) ? Event::Frame
                                                                    : Event::Rejected;
        }
        if (!open)
            return Event::None;
        const std::uint8_t value = escaped ? static_cast<std::uint8_t>(b | 0x80) : b;
        escaped = false;
        if (content.size() == kLongestFrame) {
            content.clear();
            open = false;
            return Event::Rejected;
        }
        content.push_back(value);
        return Event::None;
    }
};

} // namespace fuzz
