// The two integer readers over arbitrary text: setup::ToInteger (set-up
// file values) and ini::ParseProfileInteger (the settings file).
//
// Input: the text.
// Checked against readers written here a second time from the rules in
// their headers, with wide arithmetic instead of overflow tests; and
// printing a number the way a user writes it, in decimal or hexadecimal,
// reads back the same number.
#include "fuzz_check.h"

#include "ini/integer.h"
#include "ini/profile.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (Digit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Digits of a base as one magnitude, or nullopt when a character is no such
// digit or there are none. Saturates far beyond any range tested here.
std::optional<unsigned __int128> Magnitude(std::string_view digits, int base) {
    if (digits.empty())
        return std::nullopt;
    unsigned __int128 v = 0;
    const unsigned __int128 cap = static_cast<unsigned __int128>(1) << 100;
    for (char c : digits) {
        const int d = base == 16 ? HexValue(c) : (Digit(c) ? c - '0' : -1);
        if (d < 0)
            return std::nullopt;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (v > cap)
            v = cap;
    }
    return v;
}

// Blanks (spaces only), sign, then decimal within the signed 32-bit range,
// or hexadecimal of at most eight significant digits after "$", "x", "X",
// "0x" or "0X", a 32-bit pattern negated with wrap-around by a "-".
std::optional<std::int32_t> ReferenceToInteger(std::string_view t) {
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    std::size_t prefix = 0;
    if (!t.empty() && (t.front() == '$' || t.front() == 'x' || t.front() == 'X'))
        prefix = 1;
    else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        prefix = 2;
    if (prefix != 0) {
        const auto m = Magnitude(t.substr(prefix), 16);
        if (!m || *m > 0xFFFFFFFFu)
            return std::nullopt;
        auto bits = static_cast<std::uint32_t>(*m);
        if (negative)
            bits = ~bits + 1;
        return static_cast<std::int32_t>(bits);
    }
    const auto m = Magnitude(t, 10);
    if (!m)
        return std::nullopt;
    const __int128 v = negative ? -static_cast<__int128>(*m) : static_cast<__int128>(*m);
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// Blanks (spaces and tabs) at both ends, sign, then decimal or hexadecimal
// after "$", "0x" or "0X", within the signed 64-bit range.
std::optional<std::int64_t> ReferenceProfileInteger(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (!t.empty() && t.front() == '$') {
        base = 16;
        t.remove_prefix(1);
    } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    const auto m = Magnitude(t, base);
    if (!m)
        return std::nullopt;
    const __int128 v = negative ? -static_cast<__int128>(*m) : static_cast<__int128>(*m);
    if (v < INT64_MIN || v > INT64_MAX)
        return std::nullopt;
    return static_cast<std::int64_t>(v);
}

std::string Printed(const char* format, long long v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(setup::ToInteger(text) == ReferenceToInteger(text));
    FUZZ_CHECK(ini::ParseProfileInteger(text) == ReferenceProfileInteger(text));

    // The text as it stands, a NUL byte shown as "\0" so that nothing cuts it.
    std::string shown;
    for (const char c : text)
        shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    const std::string message = setup::NotAnIntegerMessage(text);
    FUZZ_CHECK(message == "'" + shown + "' is not a valid integer value");

    if (size >= 8) {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = bits << 8 | data[i];
        const auto v64 = static_cast<std::int64_t>(bits);
        const auto v32 = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
        FUZZ_CHECK(setup::ToInteger(Printed("%lld", v32)) == v32);
        FUZZ_CHECK(setup::ToInteger(Printed("  +%lld", v32 < 0 ? 0 : v32)) == (v32 < 0 ? 0 : v32));
        FUZZ_CHECK(setup::ToInteger(Printed("$%llX", static_cast<std::uint32_t>(v32))) == v32);
        FUZZ_CHECK(setup::ToInteger(Printed("0x%08llx", static_cast<std::uint32_t>(v32))) == v32);
        FUZZ_CHECK(ini::ParseProfileInteger(Printed("%lld", v64)) == v64);
        FUZZ_CHECK(ini::ParseProfileInteger(Printed("\t%lld ", v64)) == v64);
        if (v64 >= 0)
            FUZZ_CHECK(ini::ParseProfileInteger(Printed("0X%llX", v64)) == v64);
        else if (v64 != INT64_MIN)
            FUZZ_CHECK(ini::ParseProfileInteger(Printed("-$%llx", -v64)) == v64);
    }
    return 0;
}
