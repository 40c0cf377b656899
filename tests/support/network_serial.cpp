#include "support/network_serial.h"
#include "support/loopback.h"

#include "protocol/frame.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <vector>

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int ConnectLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the far end closes or ms pass; true with what came when it
// closed.
bool ReadUntilClosed(int fd, int ms, std::string& text) {
    const auto until = Clock::now() + milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return false;
        struct pollfd p {
            fd, POLLIN, 0
        };
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            return true;
    }
}

// A listening socket on a free loopback port (port is set); -1 on failure.
int ListenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

std::string LoopbackUrl(std::uint16_t port) {
    return "tcp://127.0.0.1:" + std::to_string(port);
}

bool Executable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string Ser2netPath() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && Executable(dir + "/ser2net"))
            return dir + "/ser2net";
    }
    for (const char* candidate : {"/usr/sbin/ser2net", "/sbin/ser2net"}) {
        if (Executable(candidate))
            return candidate;
    }
    return {};
}

Ser2netProcess::Ser2netProcess(std::string device, std::uint16_t port, std::string configFile)
    : device_(std::move(device)), port_(port), configFile_(std::move(configFile)) {}

Ser2netProcess::~Ser2netProcess() {
    Stop();
}

std::string Ser2netProcess::Url() const {
    return LoopbackUrl(port_);
}

std::string Ser2netProcess::Errors() {
    return process_ ? process_->Err() : std::string();
}

bool Ser2netProcess::Start() {
    Stop();
    {
        std::ofstream config(configFile_);
        config << "connection: &unit\n"
               << "  accepter: tcp,127.0.0.1," << port_ << "\n"
               << "  connector: serialdev," << device_ << ",19200n81,local\n";
        if (!config)
            return false;
    }
    const std::string program = Ser2netPath();
    if (program.empty())
        return false;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        process_.emplace();
        if (!process_->Start(program, {"-n", "-d", "-c", configFile_}))
            return false;
        // Up once it takes a client; a failed bind ends it, and it is tried
        // again. The client leaves at once, and ser2net closes its side when
        // it has let the client go.
        while (process_->Running() && Clock::now() < deadline) {
            const int fd = ConnectLoopback(port_);
            if (fd >= 0) {
                ::shutdown(fd, SHUT_WR);
                std::string ignored;
                const bool closed = ReadUntilClosed(fd, 5000, ignored);
                ::close(fd);
                if (closed)
                    return true;
            }
            std::this_thread::sleep_for(milliseconds(20));
        }
        std::this_thread::sleep_for(milliseconds(200));
    }
    return false;
}

void Ser2netProcess::Stop() {
    process_.reset();
}

std::optional<std::string> TurnedAwayWith(std::uint16_t port, int ms) {
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    const bool closed = ReadUntilClosed(fd, ms, text);
    ::close(fd);
    return closed ? std::optional<std::string>(text) : std::nullopt;
}

DelayRelay::DelayRelay(std::uint16_t upstream, int delayMs)
    : upstream_(upstream), delayMs_(delayMs) {}

DelayRelay::~DelayRelay() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::string DelayRelay::Url() const {
    return LoopbackUrl(port_);
}

bool DelayRelay::Start() {
    listener_ = ListenOnLoopback(port_);
    if (listener_ < 0)
        return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DelayRelay::Run() {
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
        bool end = false; // the sender closed its side
    };
    // fds[0] the client, fds[1] upstream; queues[i] holds what fds[i] sent.
    struct Session {
        int fds[2];
        std::deque<Chunk> queues[2];
        bool reading[2] = {true, true};
        bool done = false;
    };
    std::vector<Session> sessions;
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        Clock::time_point next = Clock::now() + milliseconds(20);
        for (const Session& s : sessions) {
            for (int side = 0; side < 2; ++side) {
                // A side that has closed is no longer watched (-1: ignored).
                fds.push_back({s.reading[side] ? s.fds[side] : -1, POLLIN, 0});
                if (!s.queues[side].empty())
                    next = std::min(next, s.queues[side].front().due);
            }
        }
        const auto wait = std::chrono::ceil<milliseconds>(next - Clock::now()).count();
        (void)::poll(fds.data(), fds.size(), static_cast<int>(std::max<std::int64_t>(wait, 0)));

        const std::size_t polled = sessions.size(); // those with entries in fds
        if ((fds[0].revents & POLLIN) != 0) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int upstream = client >= 0 ? ConnectLoopback(upstream_) : -1;
            if (upstream >= 0)
                sessions.push_back(Session{{client, upstream}, {}, {true, true}, false});
            else if (client >= 0)
                ::close(client); // nothing upstream: turned away
        }
        const auto now = Clock::now();
        for (std::size_t i = 0; i < sessions.size(); ++i) {
            Session& s = sessions[i];
            for (int side = 0; side < 2; ++side) {
                if (i >= polled || !s.reading[side] ||
                    (fds[1 + 2 * i + static_cast<std::size_t>(side)].revents &
                     (POLLIN | POLLHUP | POLLERR)) == 0)
                    continue;
                char buffer[4096];
                const ssize_t n = ::recv(s.fds[side], buffer, sizeof buffer, 0);
                if (n > 0) {
                    s.queues[side].push_back(
                        {now + milliseconds(delayMs_), std::string(buffer, std::size_t(n))});
                } else if (n == 0 || errno != EINTR) {
                    s.queues[side].push_back({now + milliseconds(delayMs_), {}, true});
                    s.reading[side] = false;
                }
            }
            for (int side = 0; side < 2 && !s.done; ++side) {
                auto& queue = s.queues[side];
                while (!queue.empty() && queue.front().due <= now && !s.done) {
                    const Chunk& chunk = queue.front();
                    if (chunk.end) {
                        s.done = true;
                        break;
                    }
                    const int to = s.fds[1 - side];
                    if (::send(to, chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL) !=
                        static_cast<ssize_t>(chunk.bytes.size()))
                        s.done = true;
                    relayed_ += chunk.bytes.size();
                    queue.pop_front();
                }
            }
        }
        for (auto it = sessions.begin(); it != sessions.end();) {
            if (!it->done) {
                ++it;
                continue;
            }
            ::close(it->fds[0]);
            ::close(it->fds[1]);
            it = sessions.erase(it);
        }
    }
    for (const Session& s : sessions) {
        ::close(s.fds[0]);
        ::close(s.fds[1]);
    }
}

FloodingPeer::~FloodingPeer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::string FloodingPeer::Url() const {
    return LoopbackUrl(port_);
}

std::vector<koravel::Bytes> FloodingPeer::Requests() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool FloodingPeer::Start() {
    listener_ = ListenOnLoopback(port_);
    if (listener_ < 0)
        return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void FloodingPeer::Run() {
    struct Client {
        int fd;
        frame::Receiver receiver;
    };
    std::vector<Client> clients;
    const std::string flood(65536, static_cast<char>(frame::kStart));
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN | POLLOUT, 0});
        (void)::poll(fds.data(), fds.size(), 20);
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[i];
            const short events = fds[1 + i].revents;
            bool gone = (events & (POLLHUP | POLLERR)) != 0;
            if ((events & POLLIN) != 0) {
                std::uint8_t buffer[4096];
                const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                gone = gone || n == 0;
                for (ssize_t k = 0; k < n; ++k) {
                    if (c.receiver.Push(buffer[k]) == frame::Feed::Frame) {
                        const std::lock_guard<std::mutex> lock(mutex_);
                        requests_.push_back(c.receiver.buffer);
                    }
                }
            }
            // As much as the socket takes, then at once again once it has room.
            for (bool room = (events & POLLOUT) != 0; room;) {
                const ssize_t n =
                    ::send(c.fd, flood.data(), flood.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                room = n > 0;
                if (n > 0)
                    flooded_ += static_cast<std::size_t>(n);
            }
            if (gone) {
                ::close(c.fd);
                c.fd = -1;
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
        if ((fds[0].revents & POLLIN) != 0) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                clients.push_back(Client{client, {}});
        }
    }
    for (const Client& c : clients)
        ::close(c.fd);
}

} // namespace testing_support
