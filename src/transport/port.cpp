#include "transport/port.h"

#include "transport/network_address.h"
#include "transport/network_port.h"
#include "transport/port_ops.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <thread>

namespace transport {

static_assert(kHostNotFound == EAI_NONAME, "kHostNotFound is the resolver's EAI_NONAME");
static_assert(kHostNotFound != kShortWrite);

namespace {

std::uint16_t Low16(std::uint32_t count) {
    return static_cast<std::uint16_t>(count & 0xFFFFu);
}

} // namespace

PortState::PortState(const SystemCalls& calls) : sys(calls) {}
PortState::~PortState() = default;

Port::Port(const SystemCalls& sys) : state_(std::make_unique<PortState>(sys)), ops_(&DeviceOps()) {}

Port::~Port() {
    if (IsOpen())
        (void)Close();
}

bool Port::IsOpen() const {
    return state_->handle != kNoHandle;
}

Handle Port::handle() const {
    return state_->handle;
}

void Port::Forget() {
    state_->handle = kNoHandle;
    state_->hungUp = false;
    state_->network.reset();
    ops_ = &DeviceOps();
}

std::int32_t Port::Close() {
    lastError_ = ops_->close(*state_);
    Forget();
    return lastError_;
}

std::int32_t Port::Open(const std::string& target) {
    if (IsOpen())
        Close();
    serverText_.clear();
    // A target that is a network address stands for a network port; it leads
    // nowhere in the file system.
    const bool network = koravel::IsNetworkTarget(target);
    ops_ = network ? &NetworkOps() : &DeviceOps();
    lastError_ = ops_->open(*state_, target);
    if (state_->network)
        serverText_ = state_->network->State().serverText;
    if (lastError_ != 0) {
        Forget();
        return lastError_;
    }
    status_ = CommStatus{};
    // A network port's queue has no size to report either.
    const std::uint16_t reported = network ? 0 : state_->sys.txQueueSize(state_->handle);
    txQueueSize_ = reported == 0 ? kQueueSize : reported;
    return lastError_;
}

std::int32_t Port::Configure(const LineSettings& line) {
    const std::int32_t error = ops_->configure(*state_, line);
    lastError_ = error;
    if (error == 0) {
        status_ = CommStatus{};
        state_->hungUp = false;
    }
    return error;
}

std::uint16_t Port::InputCount() {
    std::uint32_t count = 0;
    if (!IsOpen() || !ops_->inputCount(*state_, count))
        return 0;
    status_.inQue = Low16(count);
    return status_.inQue;
}

std::uint16_t Port::OutputCount() {
    std::uint32_t count = 0;
    // On failure the previous snapshot's count stands.
    if (IsOpen() && ops_->outputCount(*state_, count))
        status_.outQue = Low16(count);
    return status_.outQue;
}

bool Port::ReadByte(std::uint8_t& byte) {
    if (InputCount() == 0)
        return false;
    return ops_->read(*state_, &byte, 1) == 1;
}

std::size_t Port::Read(std::uint8_t* buffer, std::size_t size) {
    const std::uint16_t waiting = InputCount();
    if (waiting == 0 || size == 0)
        return 0;
    return ops_->read(*state_, buffer, std::min<std::size_t>(size, waiting));
}

void Port::Write(koravel::ByteView bytes) {
    const long room = static_cast<long>(txQueueSize_) - static_cast<long>(OutputCount());
    if (room < static_cast<long>(bytes.size()))
        return; // does not fit: dropped whole, error code left as it was
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ops_->write(*state_, bytes.subspan(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            lastError_ = done > 0 ? kShortWrite : errno;
            return;
        }
        if (n == 0) {
            lastError_ = kShortWrite;
            return;
        }
        done += static_cast<size_t>(n);
    }
    lastError_ = 0;
}

bool Port::WaitForInput(int ms) {
    if (!IsOpen()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
        return false;
    }
    return ops_->waitForInput(*state_, std::max(ms, 0));
}

Handle Port::InputFd() const {
    if (!IsOpen())
        return kNoHandle;
    return ops_->inputFd(*state_);
}

void Port::Service() {
    if (IsOpen() && ops_->service != nullptr)
        ops_->service(*state_);
    if (state_->network) {
        const std::string text = state_->network->State().serverText;
        if (!text.empty())
            serverText_ = text;
    }
}

std::optional<NetworkState> Port::Network() const {
    if (!IsOpen() || !state_->network)
        return std::nullopt;
    return state_->network->State();
}

std::string Port::ServerText() const {
    return serverText_;
}

} // namespace transport
