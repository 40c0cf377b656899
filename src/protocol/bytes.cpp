#include "protocol/bytes.h"

namespace koravel {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}

std::string HexPacked(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

std::string HexSpaced(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

} // namespace koravel
