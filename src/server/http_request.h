// HTTP/1.1 requests as the station server reads them: a parser fed with the
// bytes of a connection, with limits on every part, that says what the
// request is or why it is refused (the status code to answer). No sockets:
// the server's connections feed it, and tests and the fuzz target drive it
// with bytes alone.
//
// Requests carry a body only with Content-Length (set-up files are small);
// Transfer-Encoding is refused (501). Several requests may follow each
// other on one connection: Feed uses only the bytes of the current request.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace server::http {

struct Limits {
    std::size_t maxHead = 16 * 1024; // request line and headers, blank line included
    std::size_t maxHeaders = 64;     // header lines
    std::size_t maxBody = 64 * 1024; // Content-Length
};

struct Request {
    std::string method;
    std::string target; // as sent: path and query
    std::string path;   // percent-decoded
    std::string query;  // after '?', still encoded
    int minorVersion = 1;
    // Header names in lower case, values without surrounding blanks, in order.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that (lower-case) name.
    const std::string* Header(std::string_view name) const;
    // A query parameter's decoded value (the first one of that name).
    std::optional<std::string> QueryValue(std::string_view name) const;
    // The connection stays open after the response.
    bool KeepAlive() const;
    // A WebSocket opening handshake: GET with Upgrade: websocket and
    // Connection: upgrade.
    bool WantsWebSocket() const;
};

class RequestParser {
public:
    enum class State {
        Head,   // the request line and headers are still coming
        Body,   // the head is complete; Content-Length bytes are coming
        Done,   // a whole request: request()
        Failed, // refused: errorStatus(), errorReason()
    };

    explicit RequestParser(Limits limits = {});

    // Takes bytes of the connection and returns how many it used: it stops
    // at the end of the head (so a caller may look at the head before the
    // body is read) and at the end of the request. Nothing is used once
    // Done or Failed.
    std::size_t Feed(std::string_view bytes);

    State state() const { return state_; }
    // The head's size in bytes, once it is complete.
    std::size_t HeadSize() const { return headSize_; }
    const Request& request() const { return request_; }
    Request TakeRequest() { return std::move(request_); }
    // 400, 413, 431, 501 or 505 once Failed; the reason in a few words.
    int errorStatus() const { return errorStatus_; }
    const std::string& errorReason() const { return errorReason_; }

    // Ready for the next request on the same connection.
    void Reset();

private:
    void Fail(int status, std::string reason);
    void ParseHead();
    bool ParseRequestLine(std::string_view line);
    bool ParseHeaderLine(std::string_view line);

    Limits limits_;
    State state_ = State::Head;
    std::string head_;
    std::size_t headSize_ = 0;
    std::size_t bodyLength_ = 0;
    Request request_;
    int errorStatus_ = 0;
    std::string errorReason_;
};

// %XX sequences decoded ('+' as a blank when formPlus); nullopt for a broken
// sequence or a decoded NUL byte.
std::optional<std::string> PercentDecode(std::string_view text, bool formPlus);

} // namespace server::http
