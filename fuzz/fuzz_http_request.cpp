// The station server's HTTP request parser over arbitrary bytes.
//
// Input: the bytes of a connection, cut into pieces the input's hash picks.
// Checked:
//  - Feed never takes more than it is given, nothing once refused or done,
//    and stops at the end of the head;
//  - a refusal carries one of the documented statuses and a reason;
//  - a whole request's body is exactly its Content-Length, within the
//    limit, and its head within the head limit;
//  - requests one behind another parse the same whole or byte by byte
//    (the pieces change nothing).
#include "fuzz_check.h"

#include "server/access.h"
#include "server/http_request.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

using server::http::Limits;
using server::http::RequestParser;
using State = RequestParser::State;

struct Outcome {
    std::vector<std::string> requests; // method, target, body of each
    int refusal = 0;
};

Outcome ParseAll(std::string_view stream, const Limits& limits, fuzz::Dice* dice) {
    Outcome outcome;
    RequestParser parser(limits);
    std::size_t at = 0;
    while (at < stream.size()) {
        std::size_t piece = stream.size() - at;
        if (dice != nullptr)
            piece = 1 + dice->Below(static_cast<std::uint32_t>(std::min<std::size_t>(piece, 64)));
        const std::string_view given = stream.substr(at, piece);
        const State before = parser.state();
        const std::size_t used = parser.Feed(given);
        FUZZ_CHECK(used <= given.size());
        if (before == State::Head && parser.state() != State::Head &&
            parser.state() != State::Failed)
            FUZZ_CHECK(parser.HeadSize() <= limits.maxHead);
        at += used;
        if (parser.state() == State::Failed) {
            const int s = parser.errorStatus();
            FUZZ_CHECK(s == 400 || s == 413 || s == 431 || s == 501 || s == 505);
            FUZZ_CHECK(!parser.errorReason().empty());
            FUZZ_CHECK(parser.Feed("x") == 0);
            outcome.refusal = s;
            return outcome;
        }
        if (parser.state() == State::Done) {
            const auto& r = parser.request();
            FUZZ_CHECK(r.body.size() <= limits.maxBody);
            const std::string* length = r.Header("content-length");
            FUZZ_CHECK(length != nullptr ? std::stoull(*length) == r.body.size() : r.body.empty());
            FUZZ_CHECK(!r.target.empty() && r.target[0] == '/');
            (void)r.KeepAlive();
            (void)r.WantsWebSocket();
            (void)r.QueryValue("token");
            (void)server::PresentedToken(r, true);
            (void)server::OriginAllowed(r, false);
            outcome.requests.push_back(r.method + ' ' + r.target + ' ' + r.body);
            parser.Reset();
        } else if (used < given.size()) {
            // It stopped at the end of the head: the rest is offered next.
            FUZZ_CHECK(parser.state() == State::Body);
        }
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    Limits limits;
    limits.maxHead = 512;
    limits.maxHeaders = 8;
    limits.maxBody = 256;
    const Outcome whole = ParseAll(stream, limits, nullptr);
    fuzz::Dice dice(fuzz::InputHash(data, size));
    const Outcome pieces = ParseAll(stream, limits, &dice);
    FUZZ_CHECK(whole.requests == pieces.requests);
    FUZZ_CHECK(whole.refusal == pieces.refusal);
    return 0;
}
