#include "sim/simulator.h"

#include "protocol/frame.h"
#include "protocol/status_reply.h"
#include "sim/eeprom_file.h"
#include "sim/line.h"
#include "sim/pty_line.h"
#include "station/config_dir.h"
#include "station/files.h"
#include "unit/frame_trace.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sim {

namespace {

// How often the serving thread looks round when nothing happens.
constexpr int kIdlePollMs = 50;
// Longest noise burst between two frames.
constexpr int kMaxNoiseBytes = 12;

std::map<int, std::uint8_t> RefusedFrom(const Faults& faults) {
    std::map<int, std::uint8_t> refused;
    for (int block : faults.failBlocks)
        refused[block] = kStatusBlockRefused;
    return refused;
}

} // namespace

struct Simulator::Impl {
    explicit Impl(Options o)
        : options(std::move(o)), unit(options.unit), faults(options.faults), rng(options.seed),
          line(options.pace, [this] { return stopping.load() || hangUpAsked.load(); }) {
        unit.RefusedBlocks() = RefusedFrom(faults);
    }

    // Fixed before the serving thread starts.
    Options options;
    std::string linkPath;
    int wakeFd = -1;
    std::thread thread;

    std::atomic<bool> stopping{false};
    std::atomic<bool> hangUpAsked{false};

    // Guards everything below that the serving thread and callers share.
    mutable std::mutex mutex;
    std::condition_variable changed;
    Unit unit;
    Faults faults;
    Responder responder;
    std::deque<koravel::Bytes> requests; // the latest kRequestLogSize
    std::array<std::size_t, 256> requestCounts{};
    std::deque<koravel::Bytes> rawQueue;
    std::uint64_t rawQueued = 0;
    std::uint64_t rawDone = 0;
    bool started = false;
    bool serving = false;
    bool hungUp = false;
    PtyPair pty; // the fds belong to the serving thread while it runs

    // The serving thread's own.
    std::mt19937 rng;
    frame::Receiver receiver;
    Line line;
    koravel::FrameTrace trace;
    // Late replies waiting for their time, in the order they go out.
    struct LateReply {
        Clock::time_point due;
        koravel::Bytes wire;
        koravel::Bytes traced;
    };
    std::deque<LateReply> lateReplies;

    void Wake() const {
        const std::uint64_t one = 1;
        if (wakeFd >= 0)
            (void)!::write(wakeFd, &one, sizeof one);
    }

    bool Chance(double p) {
        // Always one draw per question, so a run repeats with the same seed.
        const double x = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        return x < p;
    }

    void Serve();
    int IdleWaitMs() const;
    void SendDueReplies();
    void ReadRequests();
    void Answer(const koravel::Bytes& request, Clock::time_point complete);
    void LogRequest(const koravel::Bytes& request);
    koravel::Bytes Noise();
    koravel::Bytes Corrupted(const koravel::Bytes& reply, koravel::Bytes& traced);
    void SendPendingRaw();
    void CloseLine();
    void ReleaseExclusiveUse() const;
};

void Simulator::Impl::ReleaseExclusiveUse() const {
    // The program under test opens the port exclusively. On a real device the
    // mark goes with its last close; a pseudo-terminal keeps it while the
    // master is open, so a non-privileged program could never reopen the
    // port. The simulator takes the mark off again; the program's lock on the
    // device still keeps a second program out while the port is in use.
    if (pty.slave >= 0)
        (void)::ioctl(pty.slave, TIOCNXCL);
}

void Simulator::Impl::CloseLine() {
    std::lock_guard<std::mutex> lock(mutex);
    ClosePty(pty);
    line.SetFd(-1);
}

void Simulator::Impl::Serve() {
    while (!stopping.load()) {
        if (hangUpAsked.load()) {
            CloseLine();
            std::lock_guard<std::mutex> lock(mutex);
            hungUp = true;
            break;
        }
        struct pollfd fds[2] = {{pty.master, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int rc = ::poll(fds, 2, IdleWaitMs());
        ReleaseExclusiveUse();
        if (rc < 0 && errno != EINTR)
            break;
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            (void)!::read(wakeFd, &count, sizeof count);
        }
        if (stopping.load() || hangUpAsked.load())
            continue;
        SendPendingRaw();
        SendDueReplies();
        if ((fds[0].revents & POLLIN) != 0)
            ReadRequests();
        else if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            line.WaitUntil(Clock::now() + std::chrono::milliseconds(kIdlePollMs));
    }
    lateReplies.clear();
    std::lock_guard<std::mutex> lock(mutex);
    serving = false;
    rawQueue.clear();
    rawDone = rawQueued;
    changed.notify_all();
}

int Simulator::Impl::IdleWaitMs() const {
    if (lateReplies.empty())
        return kIdlePollMs;
    const auto until =
        std::chrono::ceil<std::chrono::milliseconds>(lateReplies.front().due - Clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(until.count(), 0, kIdlePollMs));
}

void Simulator::Impl::SendDueReplies() {
    while (!lateReplies.empty() && lateReplies.front().due <= Clock::now()) {
        const LateReply reply = std::move(lateReplies.front());
        lateReplies.pop_front();
        trace.Log("tx", reply.traced);
        if (!line.Send(reply.wire))
            return;
    }
}

void Simulator::Impl::SendPendingRaw() {
    for (;;) {
        koravel::Bytes wire;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (rawQueue.empty())
                return;
            wire = std::move(rawQueue.front());
            rawQueue.pop_front();
        }
        line.Send(wire);
        std::lock_guard<std::mutex> lock(mutex);
        ++rawDone;
        changed.notify_all();
    }
}

void Simulator::Impl::ReadRequests() {
    std::uint8_t buf[1024];
    const ssize_t n = ::read(pty.master, buf, sizeof buf);
    if (n <= 0)
        return;
    const Clock::time_point readAt = Clock::now();
    for (ssize_t i = 0; i < n; ++i) {
        const Clock::time_point arrived = line.Arrival(readAt);
        if (receiver.Push(buf[i]) == frame::Feed::Frame)
            Answer(receiver.buffer, arrived);
        SendDueReplies();
        if (stopping.load() || hangUpAsked.load())
            return;
    }
}

koravel::Bytes Simulator::Impl::Noise() {
    // Bytes that a receiver waiting for a start byte ignores. Now and then a
    // start byte opens a fragment that never ends: the next frame's own start
    // byte puts a correct receiver right again.
    std::uniform_int_distribution<int> length(1, kMaxNoiseBytes);
    std::uniform_int_distribution<int> value(0, 255);
    koravel::Bytes noise;
    const bool fragment = Chance(0.25);
    if (fragment)
        noise.push_back(frame::kStart);
    const int count = length(rng);
    while (static_cast<int>(noise.size()) < count + (fragment ? 1 : 0)) {
        const auto b = static_cast<std::uint8_t>(value(rng));
        if (b == frame::kStart || (fragment && b == frame::kEnd))
            continue;
        noise.push_back(b);
    }
    return noise;
}

koravel::Bytes Simulator::Impl::Corrupted(const koravel::Bytes& reply, koravel::Bytes& traced) {
    // The checksum is the one value a receiver checks: any other value there
    // makes the frame fail its test.
    traced = frame::WithChecksum(reply);
    traced.back() = static_cast<std::uint8_t>(traced.back() ^ 0x5A);
    koravel::Bytes wire{frame::kStart};
    for (std::uint8_t b : traced)
        frame::AppendEscaped(wire, b);
    wire.push_back(frame::kEnd);
    return wire;
}

void Simulator::Impl::Answer(const koravel::Bytes& request, Clock::time_point complete) {
    if (!line.WaitUntil(complete))
        return;
    trace.Log("rx", request);

    Faults f;
    Responder hook;
    {
        std::lock_guard<std::mutex> lock(mutex);
        LogRequest(request);
        f = faults;
        hook = responder;
    }
    if (hook) {
        std::optional<koravel::Bytes> wire = hook(request);
        if (wire) {
            if (!wire->empty())
                line.Send(*wire);
            return;
        }
    }

    const bool lost = Chance(f.drop);
    const bool corrupt = Chance(f.corrupt);
    const bool noisy = Chance(f.noise);
    int delayMs = f.delayMs;
    if (f.delayMaxMs > f.delayMs)
        delayMs = std::uniform_int_distribution<int>(f.delayMs, f.delayMaxMs)(rng);
    if (lost)
        return; // the request never reached the unit
    if (f.silentStatus && request.size() >= 3 && request[1] == koravel::kCommandStatus)
        return; // status requests are never answered

    std::optional<koravel::Bytes> reply;
    std::string eepromText;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::size_t writesBefore = unit.BlockWrites();
        reply = unit.Respond(request, Clock::now());
        if (!options.eepromFile.empty() && unit.BlockWrites() != writesBefore)
            eepromText = EepromText(unit.Eeprom());
    }
    if (!eepromText.empty()) {
        std::string error;
        if (!WriteEepromFile(options.eepromFile, eepromText, error))
            std::fprintf(stderr, "kv100-sim: %s\n", error.c_str());
    }
    if (!reply)
        return;
    if (f.sequenceOnly)
        reply->resize(1); // the sequence byte alone

    LateReply out;
    if (noisy)
        out.wire = Noise();
    const koravel::Bytes frameWire =
        corrupt ? Corrupted(*reply, out.traced) : frame::Encode(*reply);
    if (!corrupt)
        out.traced = frame::WithChecksum(*reply);
    out.wire.insert(out.wire.end(), frameWire.begin(), frameWire.end());
    if (delayMs <= 0 && lateReplies.empty()) {
        trace.Log("tx", out.traced);
        line.Send(out.wire);
        return;
    }
    // Late: the reply waits for its time while the next requests come in.
    out.due = complete + std::chrono::milliseconds(delayMs);
    if (!lateReplies.empty())
        out.due = std::max(out.due, lateReplies.back().due);
    lateReplies.push_back(std::move(out));
}

void Simulator::Impl::LogRequest(const koravel::Bytes& request) {
    if (request.size() >= 3)
        ++requestCounts[request[1]];
    requests.push_back(request);
    if (requests.size() > kRequestLogSize)
        requests.pop_front();
}

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start(std::string& error) {
    Impl& d = *impl_;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.started) {
            error = "the simulator has already been started";
            return false;
        }
    }
    if (d.options.port < 1) {
        error = "port number " + std::to_string(d.options.port) + " is not valid (1 or more)";
        return false;
    }
    const std::string configDir =
        d.options.configDir.empty() ? koravel::ConfigDir() : d.options.configDir;
    const std::string portsDir = koravel::JoinPath(configDir, "ports");
    if (!koravel::MakeFolders(portsDir, error))
        return false;
    if (!d.options.traceFile.empty() && !d.trace.Open(d.options.traceFile)) {
        error = "cannot write the trace " + d.options.traceFile + ": " + std::strerror(errno);
        return false;
    }
    if (!d.options.eepromFile.empty()) {
        // The image starts empty; a file that cannot be written shows now.
        std::lock_guard<std::mutex> lock(d.mutex);
        if (!WriteEepromFile(d.options.eepromFile, EepromText(d.unit.Eeprom()), error)) {
            d.trace.Close();
            return false;
        }
    }
    PtyPair pty;
    if (!OpenRawPty(pty, error)) {
        d.trace.Close();
        return false;
    }
    const std::string link = koravel::JoinPath(portsDir, "com" + std::to_string(d.options.port));
    if (!MakePortLink(link, pty.slavePath, error)) {
        ClosePty(pty);
        d.trace.Close();
        return false;
    }
    d.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.wakeFd < 0) {
        error = std::string("cannot create an event: ") + std::strerror(errno);
        RemovePortLink(link, pty.slavePath);
        ClosePty(pty);
        d.trace.Close();
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.pty = pty;
        d.linkPath = link;
        d.line.SetFd(pty.master);
        d.started = true;
        d.serving = true;
    }
    d.thread = std::thread([&d] { d.Serve(); });
    return true;
}

void Simulator::Stop() {
    Impl& d = *impl_;
    d.stopping = true;
    d.Wake();
    if (d.thread.joinable())
        d.thread.join();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.linkPath.empty())
        RemovePortLink(d.linkPath, d.pty.slavePath);
    ClosePty(d.pty);
    d.line.SetFd(-1);
    if (d.wakeFd >= 0)
        ::close(d.wakeFd);
    d.wakeFd = -1;
    d.serving = false;
    d.changed.notify_all();
    d.trace.Close();
}

std::string Simulator::LinkPath() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->linkPath;
}

std::string Simulator::SlavePath() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->pty.slavePath;
}

UnitSnapshot Simulator::State() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->unit.Advance(Clock::now());
    return UnitSnapshot{impl_->unit.State(), impl_->unit.BlockWrites()};
}

std::map<int, koravel::Bytes> Simulator::Eeprom() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->unit.Eeprom();
}

std::vector<koravel::Bytes> Simulator::Requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return {impl_->requests.begin(), impl_->requests.end()};
}

std::size_t Simulator::RequestCount(std::uint8_t command) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requestCounts[command];
}

void Simulator::ClearRequests() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->requests.clear();
    impl_->requestCounts.fill(0);
}

void Simulator::SetFaults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->faults = faults;
    impl_->unit.RefusedBlocks() = RefusedFrom(faults);
}

void Simulator::SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->responder = std::move(responder);
}

void Simulator::SendRaw(const koravel::Bytes& wire) {
    Impl& d = *impl_;
    std::unique_lock<std::mutex> lock(d.mutex);
    if (!d.serving || d.hungUp)
        return;
    d.rawQueue.push_back(wire);
    const std::uint64_t ticket = ++d.rawQueued;
    d.Wake();
    // Returns once the bytes are on the line, so the caller knows their order
    // against the replies.
    d.changed.wait(lock, [&d, ticket] { return d.rawDone >= ticket || !d.serving; });
}

void Simulator::Modify(const std::function<void(UnitState&)>& change) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->unit.Advance(Clock::now());
    change(impl_->unit.State());
}

void Simulator::HangUp() {
    Impl& d = *impl_;
    std::unique_lock<std::mutex> lock(d.mutex);
    if (!d.serving || d.hungUp)
        return;
    d.hangUpAsked = true;
    d.Wake();
    d.changed.wait(lock, [&d] { return !d.serving; });
}

} // namespace sim
