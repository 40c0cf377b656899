// The network kind of port against a TCP server played by the test on
// loopback: what the real ser2net cannot be made to do on cue. A greeting
// that is not the unit's, a connection that drops while nothing answers new
// ones (the attempts must never hold the caller up), and the connection that
// the unit's event loop brings back by itself once the server takes it.
#include "protocol/frame.h"
#include "station/open_failure.h"
#include "station/port_links.h"
#include "support/loopback.h"
#include "support/pty_port.h"
#include "transport/host_lookup.h"
#include "transport/port.h"
#include "unit/poll_loop.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;
using std::chrono::milliseconds;
using testing_support::LoopbackAddress;
using testing_support::TempConfigDir;

namespace {

// A listening socket on a free loopback port.
class Server {
public:
    explicit Server(int backlog = 4) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(0);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd_, backlog) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~Server() {
        ::close(fd_);
        for (const int fd : fillers_)
            ::close(fd);
    }
    std::uint16_t port() const { return port_; }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    // A connection that came in, or -1 when none within ms.
    int Accept(int ms) const {
        struct pollfd p {
            fd_, POLLIN, 0
        };
        return ::poll(&p, 1, ms) > 0 ? ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }
    // Connections nobody accepts: with a backlog of 0 the queue is then
    // full, and further connection attempts go unanswered.
    void FillQueue() {
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const sockaddr_in address = LoopbackAddress(port_);
            (void)::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            fillers_.push_back(fd);
        }
        std::this_thread::sleep_for(milliseconds(100));
    }
    // The fillers go, and what they left in the queue is taken out.
    void EmptyQueue() {
        for (const int fd : fillers_)
            ::close(fd);
        fillers_.clear();
        for (int fd = Accept(100); fd >= 0; fd = Accept(100))
            ::close(fd);
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> fillers_;
};

// Sends bytes given as a literal, NUL bytes included.
template <std::size_t N> void Send(int fd, const char (&literal)[N]) {
    const std::string bytes(literal, N - 1);
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

Bytes Receive(int fd, std::size_t count) {
    Bytes bytes(count);
    std::size_t got = 0;
    while (got < count) {
        struct pollfd p {
            fd, POLLIN, 0
        };
        if (::poll(&p, 1, 2000) <= 0)
            break;
        const ssize_t n = ::recv(fd, bytes.data() + got, count - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

Bytes ReadAll(transport::Port& port) {
    Bytes bytes;
    std::uint8_t b = 0;
    while (port.ReadByte(b))
        bytes.push_back(b);
    return bytes;
}

TEST(NetworkPort, ADropIsRiddenOutWithoutHoldingTheCallerUp) {
    TempConfigDir dir;
    Server server(0); // a queue of one: once it is full, connections go unanswered
    unit::Unit unit;
    transport::Port& port = unit.Port();
    ASSERT_EQ(port.Open(server.Url()), 0);
    int peer = server.Accept(2000);
    ASSERT_GE(peer, 0);
    const transport::Handle handle = port.handle();

    // A server's greeting is held back: only the unit's frame, and what
    // follows it, is read. Configuring has nothing to set and empties the queue.
    Send(peer, "Welcome to the shack\r\n");
    Send(peer, "\xF5\x0D\x00\x4B\xFA ok");
    ASSERT_TRUE(port.WaitForInput(2000));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(ReadAll(port), (Bytes{0xF5, 0x0D, 0x00, 0x4B, 0xFA, ' ', 'o', 'k'}));
    Send(peer, "\xF5\x01");
    ASSERT_TRUE(port.WaitForInput(2000));
    EXPECT_EQ(port.Configure(), 0);
    EXPECT_EQ(port.InputCount(), 0);
    const Bytes request{0xF5, 0x0D, 0x01, 0x59, 0xFA};
    port.Write(request);
    EXPECT_EQ(Receive(peer, request.size()), request);

    // The server drops the connection and answers no new one: the port stays
    // open, writes nothing, and its attempts wait on the network, not in the
    // caller, until one times out.
    server.FillQueue();
    ::close(peer);
    peer = -1;
    Clock::duration longest{};
    bool sawDrop = false;
    const auto until =
        Clock::now() + milliseconds(transport::kReconnectMs + transport::kConnectTimeoutMs + 1500);
    while (Clock::now() < until && port.Network()->error != ETIMEDOUT) {
        const auto start = Clock::now();
        (void)port.InputCount();
        sawDrop = sawDrop || port.Network()->error == ECONNRESET;
        port.Write(request);
        EXPECT_NE(port.LastError(), 0);
        (void)port.WaitForInput(10);
        longest = std::max(longest, Clock::now() - start);
    }
    EXPECT_TRUE(sawDrop);
    EXPECT_EQ(port.Network()->error, ETIMEDOUT);
    EXPECT_FALSE(port.Network()->connected);
    EXPECT_LT(longest, milliseconds(500));
    EXPECT_EQ(unit.InputFd(), transport::kNoHandle) << "nothing to watch while down";

    // Once the server takes connections again, the unit's loop alone brings
    // the port back, on the same handle, and the unit's exchanges go on.
    server.EmptyQueue();
    unit::PollLoop loop(unit);
    const bool back = loop.RunUntil(
        [&] {
            if (peer < 0)
                peer = server.Accept(0);
            return peer >= 0 && port.Network()->connected;
        },
        8000);
    ASSERT_TRUE(back) << "no reconnection";
    EXPECT_EQ(port.handle(), handle);
    EXPECT_EQ(unit.InputFd(), handle);
    unit.SetExchangeEnabled(true);
    std::optional<unit::Reply> reply;
    unit.Transact(1, {}, false, 1, 1000, [&](const unit::Reply& r) { reply = r; });
    EXPECT_EQ(Receive(peer, request.size()), request);
    const Bytes answer = frame::Encode(Bytes{0x0D, 0x00});
    ASSERT_EQ(::send(peer, answer.data(), answer.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(answer.size()));
    ASSERT_TRUE(loop.RunUntil([&] { return reply.has_value(); }, 2000));
    EXPECT_EQ(reply->status, 0);
    ::close(peer);
    port.Close();

    // Words for a host that does not resolve (the resolver's code, no lookup).
    std::string error;
    ASSERT_TRUE(koravel::SetPortLink(dir.path(), 9, "tcp://shack-pi:3001", error)) << error;
    EXPECT_EQ(koravel::OpenFailureText(
                  koravel::ExamineOpenFailure(dir.path(), 9, transport::kHostNotFound)),
              "COM9 (tcp://shack-pi:3001) does not open: cannot connect to shack-pi:3001: host not "
              "found.");
}

// A name server that does not answer holds the open up no longer than a
// connection attempt: the lookup is given up (EAI_AGAIN, told in words) while
// the resolver is still busy, and what it finds later is dropped.
TEST(NetworkPort, ANameServerThatDoesNotAnswerIsGivenUpOn) {
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    bool resolverDone = false;
    const transport::Resolver silent = [&](const std::string& host, const std::string& service) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return release; });
        transport::HostAddresses found;
        found.addresses.resize(1);
        found.lengths.push_back(static_cast<socklen_t>(host.size() + service.size()));
        resolverDone = true;
        changed.notify_all();
        return found;
    };
    const transport::HostAddresses given =
        transport::LookUpHost("shack-pi", 3001, milliseconds(100), silent);
    EXPECT_EQ(given.error, EAI_AGAIN);
    EXPECT_TRUE(given.addresses.empty());
    {
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_FALSE(resolverDone) << "the lookup waited for the resolver";
        release = true;
        changed.notify_all();
        changed.wait(lock, [&] { return resolverDone; });
    }
    EXPECT_EQ(koravel::NetworkErrorWords(EAI_AGAIN),
              "host not found: the name server does not answer");

    // An answer in time is passed on whole; the system's resolver takes a
    // numeric address without asking any name server.
    const transport::HostAddresses prompt =
        transport::LookUpHost("shack-pi", 3001, milliseconds(10000),
                              [](const std::string& host, const std::string& service) {
                                  transport::HostAddresses found;
                                  found.addresses.resize(2);
                                  found.lengths = {static_cast<socklen_t>(host.size()),
                                                   static_cast<socklen_t>(service.size())};
                                  return found;
                              });
    EXPECT_EQ(prompt.error, 0);
    EXPECT_EQ(prompt.lengths, (std::vector<socklen_t>{8, 4}));
    const transport::HostAddresses numeric =
        transport::LookUpHost("127.0.0.1", 3001, milliseconds(10000));
    ASSERT_EQ(numeric.error, 0);
    ASSERT_GE(numeric.addresses.size(), 1u);
    const auto* in = reinterpret_cast<const sockaddr_in*>(&numeric.addresses[0]);
    EXPECT_EQ(in->sin_family, AF_INET);
    EXPECT_EQ(ntohs(in->sin_port), 3001);
}

} // namespace
