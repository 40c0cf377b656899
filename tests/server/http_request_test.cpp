// The server's HTTP request parser: requests arriving in pieces and one
// behind another, and every limit refused with its status.
#include "server/access.h"
#include "server/http_request.h"

#include <gtest/gtest.h>

#include <string>

using server::http::Limits;
using server::http::RequestParser;
using State = RequestParser::State;

namespace {

// Feeds text one byte at a time; the bytes used in all.
std::size_t FeedBytewise(RequestParser& parser, const std::string& text) {
    std::size_t used = 0;
    for (char c : text)
        used += parser.Feed(std::string_view(&c, 1));
    return used;
}

} // namespace

TEST(HttpRequest, PiecesPipelinesAndTheHeadBeforeTheBody) {
    const std::string first = "POST /api/setup?force=1&x=a%20b HTTP/1.1\r\n"
                              "Host: 127.0.0.1:8540\r\nContent-Length: 5\r\n"
                              "Authorization: Bearer abc\r\n\r\nhello";
    const std::string second = "GET /api/state HTTP/1.0\r\nConnection: keep-alive\r\n\r\n";
    RequestParser parser;
    const std::string stream = first + second;
    // The head alone first: the parser stops there, so a caller can look at it.
    std::size_t used = parser.Feed(stream);
    ASSERT_EQ(parser.state(), State::Body);
    EXPECT_EQ(used, parser.HeadSize());
    used += parser.Feed(std::string_view(stream).substr(used));
    ASSERT_EQ(parser.state(), State::Done);
    EXPECT_EQ(used, first.size()) << "the next request's bytes are left alone";
    const auto& r = parser.request();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/api/setup");
    EXPECT_EQ(r.body, "hello");
    EXPECT_EQ(r.QueryValue("force"), "1");
    EXPECT_EQ(r.QueryValue("x"), "a b");
    EXPECT_FALSE(r.QueryValue("token"));
    EXPECT_EQ(server::PresentedToken(r, false), "abc");
    EXPECT_TRUE(server::Authorized(r, "abc", false));
    EXPECT_FALSE(server::Authorized(r, "abd", false));
    EXPECT_TRUE(r.KeepAlive());

    parser.Reset();
    EXPECT_EQ(FeedBytewise(parser, second), second.size());
    ASSERT_EQ(parser.state(), State::Done);
    EXPECT_EQ(parser.request().minorVersion, 0);
    EXPECT_TRUE(parser.request().KeepAlive());
    EXPECT_FALSE(parser.request().WantsWebSocket());

    parser.Reset();
    parser.Feed("GET /api/events?token=t%3D1 HTTP/1.1\nUpgrade: WebSocket\nConnection: keep-alive, "
                "Upgrade\nOrigin: http://h:1\nHost: h:1\n\n");
    ASSERT_EQ(parser.state(), State::Done) << "bare line feeds end lines too";
    EXPECT_TRUE(parser.request().WantsWebSocket());
    EXPECT_EQ(server::PresentedToken(parser.request(), true), "t=1");
    EXPECT_TRUE(server::OriginAllowed(parser.request(), false));
    EXPECT_FALSE(server::OriginAllowed(parser.request(), true));
}

TEST(HttpRequest, RefusesWhatItWillNotTake) {
    Limits small;
    small.maxHead = 256;
    small.maxHeaders = 4;
    small.maxBody = 10;
    const struct {
        std::string text;
        int status;
    } cases[] = {
        {"GET / HTTP/1.1\r\nX: " + std::string(300, 'a') + "\r\n\r\n", 431},
        {"GET / HTTP/1.1\r\nA: 1\r\nB: 1\r\nC: 1\r\nD: 1\r\nE: 1\r\n\r\n", 431},
        {"POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET http://x/ HTTP/1.1\r\n\r\n", 400},
        {"GET /%zz HTTP/1.1\r\n\r\n", 400},
        {"GET /%00 HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\n folded: no\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nNo colon\r\n\r\n", 400},
        {"G(T / HTTP/1.1\r\n\r\n", 400},
        {"GET  / HTTP/1.1\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        RequestParser parser(small);
        parser.Feed(c.text);
        EXPECT_EQ(parser.state(), State::Failed) << c.text;
        EXPECT_EQ(parser.errorStatus(), c.status) << c.text;
        EXPECT_FALSE(parser.errorReason().empty());
        EXPECT_EQ(parser.Feed("more"), 0u) << "nothing is taken once refused";
    }
}

TEST(HttpRequest, ListenAddressesAndSecrets) {
    std::string error;
    const auto v4 = server::ParseListenAddress("127.0.0.2:8540", error);
    ASSERT_TRUE(v4);
    EXPECT_EQ(v4->host, "127.0.0.2");
    EXPECT_EQ(v4->port, 8540);
    const auto v6 = server::ParseListenAddress("[::1]:4540", error);
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->Text(), "[::1]:4540");
    EXPECT_TRUE(server::IsLoopbackOnly("::1"));
    EXPECT_TRUE(server::IsLoopbackOnly("127.0.0.1"));
    EXPECT_FALSE(server::IsLoopbackOnly("127.0.0.2"));
    EXPECT_FALSE(server::IsLoopbackOnly("0.0.0.0"));
    for (const char* bad : {"::1:80", "host", ":80", "h:", "h:65536", "h:8x", "[::1]80"})
        EXPECT_FALSE(server::ParseListenAddress(bad, error)) << bad;
    EXPECT_FALSE(server::SameSecret("abc", "abcd"));
    EXPECT_FALSE(server::SameSecret("", "a"));
    const auto a = server::NewToken(error);
    const auto b = server::NewToken(error);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 64u);
    EXPECT_NE(*a, *b);
}
