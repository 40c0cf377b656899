#include "ini/integer.h"

#include <cstddef>

namespace setup {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

// Length of the hexadecimal prefix at the start of text, or 0.
std::size_t HexPrefix(std::string_view text) {
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X'))
        return 1;
    if (text.starts_with("0x") || text.starts_with("0X"))
        return 2;
    return 0;
}

std::optional<std::uint32_t> HexPattern(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || value > 0x0FFFFFFFu)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

// The magnitude of a decimal number, up to 2^31; nullopt beyond that.
std::optional<std::uint32_t> DecimalMagnitude(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    constexpr std::uint32_t kLimit = 0x80000000u;
    std::uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const auto d = static_cast<std::uint32_t>(c - '0');
        if (value > (kLimit - d) / 10)
            return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

} // namespace

std::optional<std::int32_t> ToInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    if (const std::size_t prefix = HexPrefix(rest); prefix != 0) {
        const std::optional<std::uint32_t> pattern = HexPattern(rest.substr(prefix));
        if (!pattern)
            return std::nullopt;
        const std::uint32_t bits = negative ? 0u - *pattern : *pattern;
        return static_cast<std::int32_t>(bits);
    }
    const std::optional<std::uint32_t> magnitude = DecimalMagnitude(rest);
    if (!magnitude || (!negative && *magnitude > 0x7FFFFFFFu))
        return std::nullopt;
    const std::uint32_t bits = negative ? 0u - *magnitude : *magnitude;
    return static_cast<std::int32_t>(bits);
}

std::string NotAnIntegerMessage(std::string_view text) {
    std::string message = "'";
    message += ShownText(text);
    message += "' is not a valid integer value";
    return message;
}

std::string ShownText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        if (c == '\0')
            shown += "\\0";
        else
            shown += c;
    }
    return shown;
}

} // namespace setup
