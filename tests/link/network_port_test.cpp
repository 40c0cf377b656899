// The serial layer's network kind against a TCP server played by the test on
// loopback: bytes both ways under the same procedures as a device, a
// connection that drops and comes back by itself, a server that turns the
// connection away (its words never read as the unit's), and connection
// attempts that never hold the caller up.
#include "link/comm32.h"
#include "link/open_failure.h"
#include "link/port_links.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;
using std::chrono::milliseconds;
using testing_support::TempConfigDir;

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A listening socket on a free loopback port.
class Server {
public:
    explicit Server(int backlog = 4) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
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
            const sockaddr_in address = Loopback(port_);
            (void)::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            fillers_.push_back(fd);
        }
        std::this_thread::sleep_for(milliseconds(100));
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> fillers_;
};

// Sends bytes given as a literal, NUL bytes included.
template <std::size_t N>
void Send(int fd, const char (&literal)[N]) {
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

Bytes ReadAll() {
    Bytes bytes;
    std::uint8_t b = 0;
    while (comm32::ReadByte(b))
        bytes.push_back(b);
    return bytes;
}

// Drives the port (as the window's 50 ms tick does) until the server sees a
// new connection; -1 after ms.
int AcceptWhileDriving(const Server& server, int ms) {
    const auto until = Clock::now() + milliseconds(ms);
    while (Clock::now() < until) {
        (void)comm32::WaitForInput(50);
        if (const int fd = server.Accept(0); fd >= 0)
            return fd;
    }
    return -1;
}

class NetworkPortTest : public ::testing::Test {
protected:
    void TearDown() override { comm32::ClosePort(); }
    void Link(int number, const std::string& url) {
        std::string error;
        ASSERT_TRUE(koravel::SetPortLink(dir.path(), number, url, error)) << error;
    }
    std::string Words(int number) const {
        return koravel::OpenFailureText(koravel::ExamineOpenFailure(
            dir.path(), number, comm32::LastCommError, comm32::ServerText()));
    }
    TempConfigDir dir;
};

TEST_F(NetworkPortTest, BytesGoBothWaysThroughADropAndTheReconnectionThatFollows) {
    Server server;
    Link(6, server.Url());
    ASSERT_EQ(comm32::OpenPort("bio6"), 0) << Words(6);
    int peer = server.Accept(2000);
    ASSERT_GE(peer, 0);
    const comm32::Handle handle = comm32::PortHandle;
    EXPECT_NE(handle, comm32::kNoHandle);
    EXPECT_EQ(comm32::TxQueueSize, comm32::kQueueSize);

    // What waited before the configuration is gone; nothing to set is no error.
    Send(peer, "\xF5\x01\x02");
    ASSERT_TRUE(comm32::WaitForInput(2000));
    EXPECT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
    EXPECT_EQ(comm32::InputCount(), 0);

    const Bytes request{0xF5, 0x0D, 0x01, 0x59, 0xFA};
    comm32::WriteText(request);
    EXPECT_EQ(comm32::LastCommError, 0);
    EXPECT_EQ(Receive(peer, request.size()), request);
    Send(peer, "\xF5\x0D\x00\x41\x42\xFA");
    ASSERT_TRUE(comm32::WaitForInput(2000));
    EXPECT_EQ(ReadAll(), (Bytes{0xF5, 0x0D, 0x00, 0x41, 0x42, 0xFA}));

    // The server goes: the port stays open, says why, and writes nothing
    // until its next attempt (2 s after the open's).
    ::close(peer);
    const auto noticed = Clock::now() + milliseconds(1000);
    while (comm32::NetworkPortState()->connected && Clock::now() < noticed)
        (void)comm32::InputCount();
    EXPECT_FALSE(comm32::NetworkPortState()->connected);
    EXPECT_EQ(comm32::NetworkPortState()->error, ECONNRESET);
    comm32::WriteText(request);
    EXPECT_EQ(comm32::LastCommError, ENOTCONN);

    // It comes back by itself, on the same handle, and carries bytes again.
    peer = AcceptWhileDriving(server, 5000);
    ASSERT_GE(peer, 0) << "no reconnection";
    (void)comm32::InputCount();
    ASSERT_TRUE(comm32::NetworkPortState()->connected);
    EXPECT_EQ(comm32::PortHandle, handle);
    comm32::WriteText(request);
    EXPECT_EQ(Receive(peer, request.size()), request);

    // Turned away on a reconnection: the server's words are the reason, and
    // they are never there to be read.
    ::close(peer);
    peer = AcceptWhileDriving(server, 5000);
    ASSERT_GE(peer, 0);
    Send(peer, "Port already in use\r\n");
    ::close(peer);
    const auto until = Clock::now() + milliseconds(2000);
    while (comm32::NetworkPortState()->error != EBUSY && Clock::now() < until)
        (void)comm32::WaitForInput(20);
    EXPECT_EQ(comm32::NetworkPortState()->error, EBUSY);
    EXPECT_EQ(comm32::NetworkPortState()->serverText, "Port already in use");
    EXPECT_EQ(comm32::InputCount(), 0);
    EXPECT_EQ(koravel::ConnectionDownText(6, comm32::NetworkPortState()->address, EBUSY,
                                          "Port already in use"),
              "COM6 (" + server.Url() +
                  "): connection lost: the serial server's port is in use by another program "
                  "(\"Port already in use\"); trying again every 2 s.");

    // Closed, it is tried no more.
    EXPECT_EQ(comm32::ClosePort(), 0);
    EXPECT_FALSE(comm32::NetworkPortState());
    EXPECT_LT(server.Accept(2500), 0);
}

TEST_F(NetworkPortTest, AnOpenThatFailsSaysWhyAndABannerIsNoReply) {
    // Turned away at the open: the port stays closed.
    {
        Server server;
        Link(6, server.Url());
        std::thread turnAway([&server] {
            const int peer = server.Accept(5000);
            if (peer >= 0) {
                Send(peer, "Port already in use\r\n");
                ::close(peer);
            }
        });
        EXPECT_EQ(comm32::OpenPort("bio6"), EBUSY);
        turnAway.join();
        EXPECT_EQ(comm32::PortHandle, comm32::kNoHandle);
        EXPECT_EQ(comm32::ServerText(), "Port already in use");
        EXPECT_NE(Words(6).find("says its port is in use by another program (\"Port already in "
                                "use\")"),
                  std::string::npos)
            << Words(6);
    }
    // Text before the unit's first frame is the server's, not the unit's.
    {
        Server server;
        Link(7, server.Url());
        std::thread greet([&server] {
            const int peer = server.Accept(5000);
            Send(peer, "Welcome to the shack\r\n");
            std::this_thread::sleep_for(milliseconds(200));
            Send(peer, "\xF5\x0D\x00\x4B\xFA and more");
            std::this_thread::sleep_for(milliseconds(500));
            ::close(peer);
        });
        ASSERT_EQ(comm32::OpenPort("bio7"), 0) << Words(7);
        const auto until = Clock::now() + milliseconds(3000);
        Bytes read;
        while (read.size() < 14 && Clock::now() < until) {
            (void)comm32::WaitForInput(50);
            const Bytes more = ReadAll();
            read.insert(read.end(), more.begin(), more.end());
        }
        greet.join();
        const std::string tail = " and more";
        Bytes expected{0xF5, 0x0D, 0x00, 0x4B, 0xFA};
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(read, expected);
        comm32::ClosePort();
    }
    // Nothing serves the port.
    {
        std::uint16_t free = 0;
        {
            Server probe; // bound, then let go
            free = probe.port();
        }
        Link(8, "tcp://127.0.0.1:" + std::to_string(free));
        EXPECT_EQ(comm32::OpenPort("bio8"), ECONNREFUSED);
        EXPECT_EQ(Words(8),
                  "COM8 (tcp://127.0.0.1:" + std::to_string(free) +
                      ") does not open: cannot connect to 127.0.0.1:" + std::to_string(free) +
                      ": connection refused (nothing serves that port).");
    }
    // A host that does not resolve (no lookup here: the code the resolver gives).
    Link(9, "tcp://shack-pi:3001");
    EXPECT_EQ(
        koravel::OpenFailureText(koravel::ExamineOpenFailure(dir.path(), 9, comm32::kHostNotFound)),
        "COM9 (tcp://shack-pi:3001) does not open: cannot connect to shack-pi:3001: host not "
        "found.");
}

TEST_F(NetworkPortTest, ConnectionAttemptsNeverHoldTheCallerUpLongerThanTheirTimeOut) {
    Server server(0);
    Link(6, server.Url());
    ASSERT_EQ(comm32::OpenPort("bio6"), 0) << Words(6);
    const int peer = server.Accept(2000);
    ASSERT_GE(peer, 0);

    // From now on nothing answers a new connection: the reconnection after
    // the drop waits on the network, never in the caller.
    server.FillQueue();
    ::close(peer);
    Clock::duration longest{};
    const auto until = Clock::now() + milliseconds(comm32::kReconnectMs) +
                       milliseconds(comm32::kConnectTimeoutMs) + milliseconds(1500);
    while (Clock::now() < until && comm32::NetworkPortState()->error != ETIMEDOUT) {
        const auto start = Clock::now();
        (void)comm32::InputCount();
        comm32::WriteText(Bytes{0xF5, 0x0D, 0x01, 0x59, 0xFA});
        (void)comm32::WaitForInput(10);
        longest = std::max(longest, Clock::now() - start);
    }
    EXPECT_EQ(comm32::NetworkPortState()->error, ETIMEDOUT);
    EXPECT_LT(longest, milliseconds(500));

    // The open itself gives up after its time-out.
    comm32::ClosePort();
    const auto start = Clock::now();
    EXPECT_EQ(comm32::OpenPort("bio6"), ETIMEDOUT);
    EXPECT_LT(Clock::now() - start, milliseconds(10000));
    EXPECT_EQ(comm32::PortHandle, comm32::kNoHandle);
}

} // namespace
