#include "server/http_request.h"

#include "ini/integer.h"

#include <algorithm>
#include <cctype>

namespace server::http {

namespace {

bool IsTokenChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), IsTokenChar);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// True when the comma-separated list holds the token (without regard to case).
bool ListHas(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = Trim(list.substr(0, comma));
        if (Lower(item) == token)
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

} // namespace

std::optional<std::string> PercentDecode(std::string_view text, bool formPlus) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int hi = setup::HexDigit(text[i + 1]);
            const int lo = setup::HexDigit(text[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c == '+' && formPlus) {
            c = ' ';
        }
        if (c == '\0')
            return std::nullopt;
        out.push_back(c);
    }
    return out;
}

const std::string* Request::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (key == name)
            return &value;
    }
    return nullptr;
}

std::optional<std::string> Request::QueryValue(std::string_view name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const std::size_t eq = pair.find('=');
        const auto key = PercentDecode(pair.substr(0, eq), true);
        if (key && *key == name) {
            if (eq == std::string_view::npos)
                return std::string();
            return PercentDecode(pair.substr(eq + 1), true);
        }
        if (amp == std::string_view::npos)
            break;
        rest.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

bool Request::KeepAlive() const {
    const std::string* connection = Header("connection");
    if (minorVersion == 0)
        return connection != nullptr && ListHas(*connection, "keep-alive");
    return connection == nullptr || !ListHas(*connection, "close");
}

bool Request::WantsWebSocket() const {
    const std::string* upgrade = Header("upgrade");
    const std::string* connection = Header("connection");
    return method == "GET" && upgrade != nullptr && ListHas(*upgrade, "websocket") &&
           connection != nullptr && ListHas(*connection, "upgrade");
}

RequestParser::RequestParser(Limits limits) : limits_(limits) {}

void RequestParser::Reset() {
    state_ = State::Head;
    head_.clear();
    headSize_ = 0;
    bodyLength_ = 0;
    request_ = Request{};
    errorStatus_ = 0;
    errorReason_.clear();
}

void RequestParser::Fail(int status, std::string reason) {
    state_ = State::Failed;
    errorStatus_ = status;
    errorReason_ = std::move(reason);
}

std::size_t RequestParser::Feed(std::string_view bytes) {
    std::size_t used = 0;
    if (state_ == State::Head) {
        // The head ends with an empty line; a bare LF ends a line too.
        while (used < bytes.size()) {
            const char c = bytes[used++];
            head_.push_back(c);
            if (c == '\n' && (head_.ends_with("\r\n\r\n") || head_.ends_with("\n\n") ||
                              head_.ends_with("\n\r\n"))) {
                headSize_ = head_.size();
                ParseHead();
                // The caller may look at the head before the body is read.
                return used;
            }
            if (head_.size() >= limits_.maxHead) {
                Fail(431, "the request's head is too large");
                return used;
            }
        }
        return used;
    }
    if (state_ == State::Body) {
        const std::size_t want = bodyLength_ - request_.body.size();
        const std::size_t take = std::min(want, bytes.size() - used);
        request_.body.append(bytes.substr(used, take));
        used += take;
        if (request_.body.size() == bodyLength_)
            state_ = State::Done;
    }
    return used;
}

void RequestParser::ParseHead() {
    std::string_view rest = head_;
    // Blank lines before the request line are ignored.
    while (rest.starts_with("\r\n") || rest.starts_with("\n"))
        rest.remove_prefix(rest.front() == '\r' ? 2 : 1);
    bool first = true;
    std::size_t lines = 0;
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty())
            break;
        if (first) {
            if (!ParseRequestLine(line))
                return;
            first = false;
            continue;
        }
        if (++lines > limits_.maxHeaders) {
            Fail(431, "too many header lines");
            return;
        }
        if (!ParseHeaderLine(line))
            return;
    }
    if (first) {
        Fail(400, "no request line");
        return;
    }
    if (request_.Header("transfer-encoding") != nullptr) {
        Fail(501, "Transfer-Encoding is not supported; send Content-Length");
        return;
    }
    bodyLength_ = 0;
    bool seen = false;
    for (const auto& [name, value] : request_.headers) {
        if (name != "content-length")
            continue;
        if (value.empty() || value.size() > 12 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            Fail(400, "Content-Length is not a number");
            return;
        }
        const std::size_t length = std::stoull(value);
        if (seen && length != bodyLength_) {
            Fail(400, "Content-Length is given twice with different values");
            return;
        }
        seen = true;
        bodyLength_ = length;
    }
    if (bodyLength_ > limits_.maxBody) {
        Fail(413, "the body is larger than " + std::to_string(limits_.maxBody) + " bytes");
        return;
    }
    state_ = bodyLength_ == 0 ? State::Done : State::Body;
}

bool RequestParser::ParseRequestLine(std::string_view line) {
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        Fail(400, "the request line is not METHOD TARGET VERSION");
        return false;
    }
    const std::string_view method = line.substr(0, sp1);
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    if (!IsToken(method)) {
        Fail(400, "the method is not a token");
        return false;
    }
    if (!version.starts_with("HTTP/") || version.size() != 8 || version[6] != '.' ||
        !std::isdigit(static_cast<unsigned char>(version[5])) ||
        !std::isdigit(static_cast<unsigned char>(version[7]))) {
        Fail(400, "the version is not HTTP/x.y");
        return false;
    }
    if (version[5] != '1') {
        Fail(505, "only HTTP/1.x is served");
        return false;
    }
    if (target.empty() || target.front() != '/' ||
        std::any_of(target.begin(), target.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u <= 0x20 || u == 0x7F;
        })) {
        Fail(400, "the target is not a path");
        return false;
    }
    const std::size_t question = target.find('?');
    const auto path = PercentDecode(target.substr(0, question), false);
    if (!path) {
        Fail(400, "the path holds a broken %-sequence");
        return false;
    }
    request_.method = std::string(method);
    request_.target = std::string(target);
    request_.path = *path;
    request_.query = question == std::string_view::npos ? std::string()
                                                        : std::string(target.substr(question + 1));
    request_.minorVersion = version[7] - '0';
    return true;
}

bool RequestParser::ParseHeaderLine(std::string_view line) {
    if (line.front() == ' ' || line.front() == '\t') {
        Fail(400, "folded header lines are not accepted");
        return false;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
        Fail(400, "a header line is not NAME: VALUE");
        return false;
    }
    const std::string_view value = Trim(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 0x20 && c != '\t') || u == 0x7F;
        })) {
        Fail(400, "a header value holds control characters");
        return false;
    }
    request_.headers.emplace_back(Lower(line.substr(0, colon)), std::string(value));
    return true;
}

} // namespace server::http
