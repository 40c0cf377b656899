// One JSON object on one line, for programs whose output scripts read
// (koravelctl --json): members in the order they are added, strings escaped
// as JSON requires (quotes, backslashes, control characters; bytes that are
// not UTF-8 become U+FFFD), and the time stamp those lines carry.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace json {

class Line {
public:
    Line& Add(std::string_view key, std::string_view value);
    Line& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    Line& Add(std::string_view key, std::int64_t value);
    Line& Add(std::string_view key, int value) { return Add(key, std::int64_t{value}); }
    Line& Add(std::string_view key, unsigned value) { return Add(key, std::int64_t{value}); }
    Line& Add(std::string_view key, bool value);
    Line& AddNull(std::string_view key);

    // The object, without a line end.
    std::string Text() const { return body_ + "}"; }

private:
    void Key(std::string_view key);

    std::string body_ = "{";
};

// value as a JSON string, quotes included.
std::string Quoted(std::string_view value);

// A time as RFC 3339 in UTC with milliseconds: "2026-03-01T14:05:09.042Z".
std::string Rfc3339Utc(std::chrono::system_clock::time_point time);

} // namespace json
