// Byte strings as the link passes them around.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace koravel {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// "F5 0D 01 59 FA": upper-case hex, one blank between bytes.
std::string HexSpaced(ByteView bytes);
// "F50D0159FA": upper-case hex with no separators.
std::string HexPacked(ByteView bytes);

} // namespace koravel
