// Whole numbers in set-up files.
//
// A valid integer is: optional leading blanks, an optional "+" or "-", then
// either decimal digits within the signed 32-bit range, or hexadecimal
// digits after a "$", "x", "X", "0x" or "0X" prefix. A hexadecimal number is
// a 32-bit pattern of at most eight significant digits ("$FFFFFFFF" is -1);
// a sign before the prefix negates that pattern with 32-bit wrap-around
// ("-$10" is -16). Nothing may follow the digits; the empty text is not an
// integer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

std::optional<std::int32_t> ToInteger(std::string_view text);

// The value of a hexadecimal digit (either case), or -1.
int HexDigit(char c);

// "'<text>' is not a valid integer value", the text as ShownText gives it.
std::string NotAnIntegerMessage(std::string_view text);

// Text from a file as a message shows it: every byte as it stands, but a NUL
// byte as "\0", so that nothing that prints the message stops there.
std::string ShownText(std::string_view text);

} // namespace setup
