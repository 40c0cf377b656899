#include "transport/network_port.h"

#include "transport/host_lookup.h"
#include "transport/port_ops.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace transport {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Text kept from a server that turns a connection away: its line, and room
// to spare.
constexpr std::size_t kHeldTextLimit = 256;
// Received bytes kept for the reader; beyond this they wait in the socket.
constexpr std::size_t kInputLimit = 16384;
// Keep-alive: probes after 5 s of quiet, every 2 s, 3 unanswered end it.
constexpr int kKeepIdleS = 5;
constexpr int kKeepIntervalS = 2;
constexpr int kKeepCount = 3;
// Written bytes that stay unacknowledged this long end the connection (a
// network gone under a steady poll, which keep-alive never probes).
constexpr unsigned kUnacknowledgedMs = 10000;
// The wait after the open's connection for a server that turns it away:
// twice the time the connection took (a round trip) and 250 ms (a busy
// server's turn to run), at most 1 s.
constexpr milliseconds kSettleLeast{250};
constexpr milliseconds kSettleMost{1000};
// Longest wait for room in the socket to write into.
constexpr int kWriteWaitMs = 2000;

bool IsText(std::uint8_t b) {
    return b == '\r' || b == '\n' || b == '\t' || (b >= 0x20 && b < 0x7F);
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool SaysInUse(const std::string& text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("in use") != std::string::npos;
}

int PollTimeout(Clock::duration left) {
    const auto ms = std::chrono::ceil<milliseconds>(left).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, 60000));
}

bool SetOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// No delay for small writes (a frame goes out at once), and a dead peer
// noticed within seconds.
bool TuneSocket(int fd) {
    const unsigned userTimeout = kUnacknowledgedMs;
    return SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1) &&
           SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS) &&
           SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS) &&
           SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount) &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout) == 0;
}

} // namespace

NetworkConnection::NetworkConnection(koravel::NetworkAddress address)
    : address_(std::move(address)) {}

NetworkConnection::~NetworkConnection() {
    if (handle_ >= 0 || pending_ >= 0)
        (void)Close();
}

std::int32_t NetworkConnection::Open() {
    serverText_.clear();
    HostAddresses found = LookUpHost(address_.host, address_.port, milliseconds(kConnectTimeoutMs));
    if (found.error != 0)
        return found.error;
    addresses_ = std::move(found.addresses);
    addressLengths_ = std::move(found.lengths);

    StartAttempt();
    while (phase_ == Phase::Connecting) {
        struct pollfd p {
            pending_, POLLOUT, 0
        };
        const auto left = attemptStarted_ + milliseconds(kConnectTimeoutMs) - Clock::now();
        (void)::poll(&p, 1, PollTimeout(left)); // EINTR: looked at again below
        CheckAttempt();
    }
    if (phase_ != Phase::Connected)
        return failure_;
    return SettleAfterOpen(Clock::now() - attemptStarted_);
}

std::int32_t NetworkConnection::SettleAfterOpen(Clock::duration connectTime) {
    const auto settle =
        std::clamp<Clock::duration>(kSettleLeast + 2 * connectTime, kSettleLeast, kSettleMost);
    const auto until = Clock::now() + settle;
    for (;;) {
        Pump();
        if (phase_ != Phase::Connected)
            return failure_;
        if (proven_)
            return 0;
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero())
            return 0;
        struct pollfd p {
            handle_, POLLIN, 0
        };
        (void)::poll(&p, 1, PollTimeout(left));
    }
}

std::int32_t NetworkConnection::Close() {
    if (pending_ >= 0)
        ::close(pending_);
    pending_ = -1;
    std::int32_t error = EBADF;
    if (handle_ >= 0)
        error = ::close(handle_) == 0 ? 0 : errno;
    handle_ = -1;
    phase_ = Phase::Down;
    return error;
}

void NetworkConnection::StartAttempt() {
    attemptStarted_ = Clock::now();
    nextAddress_ = 0;
    TryNextAddress();
}

void NetworkConnection::TryNextAddress() {
    while (nextAddress_ < addresses_.size()) {
        const std::size_t i = nextAddress_++;
        const auto* address = reinterpret_cast<const sockaddr*>(&addresses_[i]);
        const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            failure_ = errno;
            continue;
        }
        if (!TuneSocket(fd)) {
            failure_ = errno;
            ::close(fd);
            continue;
        }
        if (::connect(fd, address, addressLengths_[i]) == 0) {
            Connected(fd);
            return;
        }
        if (errno == EINPROGRESS) {
            pending_ = fd;
            phase_ = Phase::Connecting;
            return;
        }
        failure_ = errno;
        ::close(fd);
    }
    phase_ = Phase::Down;
}

void NetworkConnection::CheckAttempt() {
    if (phase_ != Phase::Connecting)
        return;
    struct pollfd p {
        pending_, POLLOUT, 0
    };
    const int rc = ::poll(&p, 1, 0);
    if (rc > 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(pending_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        const int fd = pending_;
        pending_ = -1;
        if (error == 0) {
            Connected(fd);
            return;
        }
        failure_ = error;
        ::close(fd);
        TryNextAddress();
        return;
    }
    const bool failed = rc < 0 && errno != EINTR;
    const bool late = Clock::now() - attemptStarted_ >= milliseconds(kConnectTimeoutMs);
    if (failed || late) {
        failure_ = failed ? errno : ETIMEDOUT;
        ::close(pending_);
        pending_ = -1;
        phase_ = Phase::Down;
    }
}

void NetworkConnection::Connected(int fd) {
    if (handle_ < 0) {
        handle_ = fd;
    } else {
        // The new connection takes the old one's descriptor.
        if (::dup3(fd, handle_, O_CLOEXEC) < 0) {
            failure_ = errno;
            ::close(fd);
            phase_ = Phase::Down;
            return;
        }
        ::close(fd);
    }
    phase_ = Phase::Connected;
    proven_ = false;
    held_.clear();
    failure_ = 0;
    serverText_.clear();
}

void NetworkConnection::Drop(std::int32_t error) {
    if (phase_ != Phase::Connected)
        return;
    if (!proven_ && !Trimmed(held_).empty()) {
        // Turned away: what the server said is why.
        serverText_ = Trimmed(held_);
        error = SaysInUse(serverText_) ? EBUSY : EREMOTEIO;
    }
    held_.clear();
    failure_ = error;
    // The descriptor stays, closed to traffic, for the next connection.
    ::shutdown(handle_, SHUT_RDWR);
    phase_ = Phase::Down;
}

void NetworkConnection::Service() {
    switch (phase_) {
    case Phase::Connected:
        break;
    case Phase::Connecting:
        CheckAttempt();
        break;
    case Phase::Down:
        if (handle_ >= 0 && Clock::now() - attemptStarted_ >= milliseconds(kReconnectMs))
            StartAttempt();
        break;
    }
}

void NetworkConnection::Accept(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (!proven_) {
            if (IsText(b)) {
                if (held_.size() < kHeldTextLimit)
                    held_.push_back(static_cast<char>(b));
                continue;
            }
            // The far end speaks frames: what came before was no reply.
            proven_ = true;
            held_.clear();
        }
        input_.push_back(b);
    }
}

void NetworkConnection::Pump(std::size_t discard) {
    std::uint8_t buffer[4096];
    while (phase_ == Phase::Connected) {
        if (readAt_ == input_.size()) {
            input_.clear();
            readAt_ = 0;
        }
        const std::size_t kept = input_.size() - readAt_;
        const std::size_t room =
            discard > 0 ? std::min(sizeof buffer, discard)
                        : std::min(sizeof buffer, kInputLimit - std::min(kept, kInputLimit));
        if (room == 0)
            return;
        const ssize_t n = ::recv(handle_, buffer, room, MSG_DONTWAIT);
        if (n > 0) {
            Accept(buffer, static_cast<std::size_t>(n));
            if (discard > 0) {
                input_.clear();
                readAt_ = 0;
                discard -= static_cast<std::size_t>(n);
                if (discard == 0)
                    return;
            }
            continue;
        }
        if (n == 0) {
            Drop(ECONNRESET); // the far end closed it
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            Drop(errno);
        return;
    }
}

void NetworkConnection::Purge() {
    input_.clear();
    readAt_ = 0;
    // What the socket holds now goes, and no more: bytes that arrive during
    // the purge came after it, and a peer that never stops sending must not
    // keep it reading.
    int queued = 0;
    if (phase_ == Phase::Connected && ::ioctl(handle_, FIONREAD, &queued) == 0 && queued > 0)
        Pump(static_cast<std::size_t>(queued));
}

std::uint32_t NetworkConnection::Waiting() {
    if (readAt_ == input_.size())
        Pump();
    return static_cast<std::uint32_t>(input_.size() - readAt_);
}

std::uint32_t NetworkConnection::Unsent() const {
    int count = 0;
    if (phase_ != Phase::Connected || ::ioctl(handle_, TIOCOUTQ, &count) != 0)
        return 0;
    return static_cast<std::uint32_t>(std::max(count, 0));
}

std::size_t NetworkConnection::Take(std::uint8_t* buffer, std::size_t size) {
    const std::size_t n = std::min(size, input_.size() - readAt_);
    std::copy_n(input_.begin() + static_cast<std::ptrdiff_t>(readAt_), n, buffer);
    readAt_ += n;
    return n;
}

int NetworkConnection::InputFd() const {
    return phase_ == Phase::Connected ? handle_ : kNoHandle;
}

ssize_t NetworkConnection::Write(koravel::ByteView bytes) {
    const auto until = Clock::now() + milliseconds(kWriteWaitMs);
    for (;;) {
        if (phase_ != Phase::Connected) {
            errno = ENOTCONN;
            return -1;
        }
        const ssize_t n = ::send(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return n;
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            // No room in the socket: wait for some, as a tty's write blocks.
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero())
                return 0; // a short write
            struct pollfd p {
                handle_, POLLOUT, 0
            };
            (void)::poll(&p, 1, PollTimeout(left));
            continue;
        }
        Drop(error);
        errno = error;
        return -1;
    }
}

bool NetworkConnection::WaitForInput(int ms) {
    const auto until = Clock::now() + milliseconds(ms);
    for (;;) {
        Service();
        if (Waiting() > 0)
            return true;
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        switch (phase_) {
        case Phase::Connected: {
            struct pollfd p {
                handle_, POLLIN, 0
            };
            (void)::poll(&p, 1, PollTimeout(left)); // what woke it is read above
            break;
        }
        case Phase::Connecting: {
            struct pollfd p {
                pending_, POLLOUT, 0
            };
            const auto late = attemptStarted_ + milliseconds(kConnectTimeoutMs) - Clock::now();
            (void)::poll(&p, 1, PollTimeout(std::min(left, late)));
            break;
        }
        case Phase::Down: {
            const auto due = attemptStarted_ + milliseconds(kReconnectMs) - Clock::now();
            std::this_thread::sleep_for(std::max(Clock::duration::zero(), std::min(left, due)));
            break;
        }
        }
    }
}

NetworkState NetworkConnection::State() const {
    NetworkState state;
    state.address = address_.HostAndPort();
    state.connected = phase_ == Phase::Connected;
    state.error = state.connected ? 0 : failure_;
    state.serverText = serverText_;
    return state;
}

// --- The table ------------------------------------------------------------

namespace {

std::int32_t Open(PortState& state, const std::string& target) {
    const auto address = koravel::ParseNetworkAddress(target);
    if (!address)
        return EINVAL;
    state.network = std::make_unique<NetworkConnection>(*address);
    const std::int32_t error = state.network->Open();
    if (error != 0)
        return error;
    state.handle = state.network->Handle();
    return 0;
}

// The server sets the line; what waits is discarded all the same.
std::int32_t Configure(PortState& state, const LineSettings&) {
    if (!state.network)
        return EBADF;
    state.network->Purge();
    return 0;
}

std::int32_t Close(PortState& state) {
    return state.network ? state.network->Close() : EBADF;
}

bool InputCount(PortState& state, std::uint32_t& count) {
    if (!state.network)
        return false;
    state.network->Service();
    count = state.network->Waiting();
    return true;
}

bool OutputCount(PortState& state, std::uint32_t& count) {
    if (!state.network)
        return false;
    count = state.network->Unsent();
    return true;
}

std::size_t Read(PortState& state, std::uint8_t* buffer, std::size_t size) {
    return state.network ? state.network->Take(buffer, size) : 0;
}

ssize_t Write(PortState& state, koravel::ByteView bytes) {
    if (!state.network) {
        errno = EBADF;
        return -1;
    }
    state.network->Service();
    return state.network->Write(bytes);
}

bool WaitForInput(PortState& state, int ms) {
    return state.network && state.network->WaitForInput(ms);
}

Handle InputFd(const PortState& state) {
    return state.network ? state.network->InputFd() : kNoHandle;
}

void Service(PortState& state) {
    if (!state.network)
        return;
    state.network->Service();
    (void)state.network->Waiting(); // a drop shows on a read
}

} // namespace

const PortOps& NetworkOps() {
    static const PortOps ops{Open, Configure, Close,        InputCount, OutputCount,
                             Read, Write,     WaitForInput, InputFd,    Service};
    return ops;
}

} // namespace transport
