#include "unit/unit.h"

#include "unit/frame_trace.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>
#include <vector>

namespace unit {

namespace {

// Bytes read from the port in one OnInput: a peer that never stops sending
// must leave the loop time for the time-outs.
constexpr std::size_t kReadBudget = 4096;
// Bytes CollectPollAnswers reads at most before it looks at what came.
constexpr std::size_t kCollectBudget = 16384;
// How often a network port whose connection is down is looked after.
constexpr Millis kNetworkUpkeepMs = 50;

Millis TickIndex(Millis t) {
    return t >= 0 ? t / kTickMs : (t - (kTickMs - 1)) / kTickMs;
}

koravel::Bytes RequestContent(std::uint8_t sequence, std::uint8_t command,
                              koravel::ByteView argument) {
    koravel::Bytes content;
    content.reserve(argument.size() + 2);
    content.push_back(sequence);
    content.push_back(command);
    content.insert(content.end(), argument.begin(), argument.end());
    return content;
}

} // namespace

Millis SteadyMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Unit::Exchange {
    std::uint8_t command = 0;
    koravel::Bytes argument;
    bool replyFlag = false;
    int attempts = 1;
    int timeoutMs = 0;
    bool supersedable = false;
    ReplyHandler done;

    // Once started.
    std::uint8_t sequence = 0;
    koravel::Bytes content;
    int attemptsLeft = 0;
    Millis sentAt = 0;
};

Unit::Unit(Clock clock, const transport::SystemCalls& sys)
    : clock_(std::move(clock)), port_(std::make_unique<transport::Port>(sys)) {}

Unit::~Unit() = default;

// ---- Exchanges --------------------------------------------------------------

void Unit::Transact(std::uint8_t command, koravel::ByteView argument, bool replyFlag, int attempts,
                    int timeoutMs, ReplyHandler done) {
    Submit(command, argument, replyFlag, attempts, timeoutMs, false, std::move(done));
}

void Unit::Submit(std::uint8_t command, koravel::ByteView argument, bool replyFlag, int attempts,
                  int timeoutMs, bool supersedable, ReplyHandler done) {
    auto exchange = std::make_unique<Exchange>();
    exchange->command = command;
    exchange->argument.assign(argument.begin(), argument.end());
    exchange->replyFlag = replyFlag;
    exchange->attempts = attempts;
    exchange->timeoutMs = timeoutMs;
    exchange->supersedable = supersedable;
    exchange->done = std::move(done);
    queue_.push_back(std::move(exchange));
    Pump();
    Changed();
}

void Unit::SendCommand(std::uint8_t command, koravel::ByteView argument, ReplyHandler done) {
    exchangeEnabled_ = true;
    // The older commands end before the newer one is queued: none of them
    // writes anything more, the one waiting stops waiting.
    std::vector<std::unique_ptr<Exchange>> older;
    if (waiting_ && waiting_->supersedable)
        older.push_back(std::move(waiting_));
    for (auto it = queue_.begin(); it != queue_.end();) {
        if ((*it)->supersedable) {
            older.push_back(std::move(*it));
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& exchange : older) {
        Reply superseded;
        superseded.superseded = true;
        superseded.sequence = exchange->sequence;
        Finish(std::move(exchange), std::move(superseded));
    }
    Submit(command, argument, true, kCommandAttempts, kCommandTimeoutMs, true, std::move(done));
}

void Unit::SendRequest(std::uint8_t command, koravel::ByteView argument) {
    sequenceCounter_ = (sequenceCounter_ & 0x7F) + 1;
    lastSentSequence_ = sequenceCounter_;
    lastSentCommand_ = command;
    const auto sequence = static_cast<std::uint8_t>(sequenceCounter_ & 0xFF);
    ForgetSequence(sequence);
    recentRequests_.push_back(SentRequest{sequence, command});
    while (recentRequests_.size() > kRecentRequests)
        recentRequests_.pop_front();
    WriteFrame(RequestContent(sequence, command, argument));
    Changed();
}

PollAnswers Unit::CollectPollAnswers() {
    ReadPort(kCollectBudget);
    PollAnswers answers;
    answers.otherFrames = otherFrames_;
    otherFrames_ = false;
    int newest = -1;
    for (koravel::Bytes& content : pollFrames_) {
        // The newest request with the frame's sequence byte is the one it answers.
        int position = -1;
        for (std::size_t i = recentRequests_.size(); i-- > 0;) {
            if (recentRequests_[i].sequence == content[0]) {
                position = static_cast<int>(i);
                break;
            }
        }
        if (position < 0)
            continue; // its request was forgotten since: older news
        answers.answered = true;
        if (position > newest) {
            newest = position;
            answers.command = recentRequests_[static_cast<std::size_t>(position)].command;
            answers.newest = std::move(content);
        }
    }
    pollFrames_.clear();
    if (newest >= 0)
        recentRequests_.erase(recentRequests_.begin(), recentRequests_.begin() + newest + 1);
    Changed();
    return answers;
}

bool Unit::Idle() const {
    return !waiting_ && queue_.empty();
}

std::uint8_t Unit::WaitingSequence() const {
    return waiting_ ? waiting_->sequence : 0;
}

void Unit::Pump() {
    while (!waiting_ && !queue_.empty()) {
        std::unique_ptr<Exchange> next = std::move(queue_.front());
        queue_.pop_front();
        if (!exchangeEnabled_) {
            Finish(std::move(next), Reply{});
            continue;
        }
        sequenceCounter_ = (sequenceCounter_ + 1) & 0x7F;
        if (next->replyFlag)
            sequenceCounter_ |= 0x80;
        next->sequence = static_cast<std::uint8_t>(sequenceCounter_ & 0xFF);
        // A new request takes this sequence byte: frames that carry it answer
        // an earlier request, and no earlier status request of the poll may
        // claim a frame that now answers this one.
        ForgetSequence(next->sequence);
        next->content = RequestContent(next->sequence, next->command, next->argument);
        next->attemptsLeft = next->attempts;
        if (next->attemptsLeft <= 0) {
            Reply none;
            none.sequence = next->sequence;
            Finish(std::move(next), none);
            continue;
        }
        waiting_ = std::move(next);
        SendAttempt();
    }
}

void Unit::SendAttempt() {
    --waiting_->attemptsLeft;
    waiting_->sentAt = clock_();
    WriteFrame(waiting_->content);
}

void Unit::Finish(std::unique_ptr<Exchange> exchange, Reply reply) {
    // The handler may ask for more, or run a loop of its own: the unit is
    // whole before it is called.
    if (exchange->done)
        exchange->done(reply);
    Pump();
}

void Unit::WriteFrame(koravel::ByteView content) {
    if (hooks.FrameSent)
        hooks.FrameSent();
    if (trace != nullptr)
        trace->Log("tx", frame::WithChecksum(content));
    port_->Write(frame::Encode(content));
}

void Unit::ForgetSequence(std::uint8_t sequence) {
    std::erase_if(pollFrames_,
                  [sequence](const koravel::Bytes& content) { return content[0] == sequence; });
    std::erase_if(recentRequests_,
                  [sequence](const SentRequest& sent) { return sent.sequence == sequence; });
}

// ---- Input ------------------------------------------------------------------

void Unit::OnInput() {
    // Readable with nothing to read: a device that hung up signals so for
    // ever. The queue count notices it, and InputFd no longer names it, so
    // the loop stops waking for it.
    if (ReadPort(kReadBudget) == 0)
        (void)port_->InputCount();
    Changed();
}

std::size_t Unit::ReadPort(std::size_t budget) {
    std::uint8_t buffer[1024];
    std::size_t taken = 0;
    while (taken < budget) {
        const std::size_t n = port_->Read(buffer, std::min(sizeof buffer, budget - taken));
        if (n == 0)
            break;
        taken += n;
        bytesRead_ += n;
        if (inputAt_ == input_.size()) {
            input_.clear();
            inputAt_ = 0;
        }
        input_.insert(input_.end(), buffer, buffer + n);
        HandleInput();
    }
    return taken;
}

void Unit::HandleInput() {
    while (inputAt_ < input_.size()) {
        const std::uint8_t b = input_[inputAt_++];
        if (receiver_.Push(b) != frame::Feed::Frame)
            continue;
        const koravel::Bytes content = receiver_.buffer;
        replyBuffer_ = content;
        if (trace != nullptr)
            trace->Log("rx", content);
        Dispatch(content);
    }
}

void Unit::Dispatch(const koravel::Bytes& content) {
    if (waiting_) {
        if (hooks.FrameHeard)
            hooks.FrameHeard();
        if (content[0] == waiting_->sequence) {
            // Too short for a status byte: no reply, the wait goes on.
            if (content.size() < kShortestReply)
                return;
            Reply reply;
            reply.status = content[1];
            reply.sequence = content[0];
            reply.payload.assign(content.begin() + 2, content.end());
            // The buffer holds the payload and checksum, as callers read it.
            replyBuffer_ = reply.payload;
            Finish(std::move(waiting_), std::move(reply));
            return;
        }
    }
    // The newest request with the frame's sequence byte is the one it answers.
    const auto forPoll =
        std::find_if(recentRequests_.rbegin(), recentRequests_.rend(),
                     [&content](const SentRequest& sent) { return sent.sequence == content[0]; });
    if (forPoll != recentRequests_.rend()) {
        pollFrames_.push_back(content);
        while (pollFrames_.size() > kPollFrames)
            pollFrames_.pop_front();
        if (hooks.PollAnswered)
            hooks.PollAnswered(*forPoll, content);
    } else if (!waiting_) {
        otherFrames_ = true;
    }
}

std::size_t Unit::DiscardInput(std::size_t most) {
    std::size_t dropped = 0;
    std::uint8_t b = 0;
    while (dropped < most && port_->ReadByte(b))
        ++dropped;
    bytesRead_ += dropped;
    return dropped;
}

// ---- Time -------------------------------------------------------------------

std::int32_t Unit::ExchangeElapsed() const {
    if (!waiting_)
        return 0;
    const Millis ticks = TickIndex(clock_()) - TickIndex(waiting_->sentAt);
    return static_cast<std::int32_t>(std::clamp<Millis>(ticks * kTickMs, 0, INT32_MAX));
}

Millis Unit::AttemptDeadline() const {
    // The first tick at which the time counted since the send exceeds the
    // time-out.
    const Millis timeoutTicks = std::max(waiting_->timeoutMs, 0) / kTickMs;
    return (TickIndex(waiting_->sentAt) + timeoutTicks + 1) * kTickMs;
}

Millis Unit::NextDue() const {
    Millis due = kNever;
    if (waiting_)
        due = AttemptDeadline();
    for (const auto& [id, timer] : timers_)
        due = std::min(due, timer.due);
    if (const auto network = port_->Network(); network && !network->connected)
        due = std::min(due, upkeepDue_);
    return due;
}

void Unit::OnTimer() {
    port_->Service();
    // A time that stays put between calls, so that a loop waiting for it
    // reaches it; while the connection is up it is not looked at.
    upkeepDue_ = clock_() + kNetworkUpkeepMs;
    if (waiting_ && clock_() >= AttemptDeadline()) {
        if (waiting_->attemptsLeft > 0 && exchangeEnabled_) {
            SendAttempt();
        } else {
            Reply none;
            none.sequence = waiting_->sequence;
            Finish(std::move(waiting_), none);
        }
    }
    RunDueTimers();
    Changed();
}

Unit::TimerId Unit::After(int ms, std::function<void()> fn) {
    const TimerId id = nextTimer_++;
    timers_.emplace(id, Timer{clock_() + std::max(ms, 0), std::move(fn)});
    Changed();
    return id;
}

void Unit::CancelTimer(TimerId id) {
    timers_.erase(id);
}

void Unit::RunDueTimers() {
    const Millis now = clock_();
    for (;;) {
        auto due = std::find_if(timers_.begin(), timers_.end(),
                                [now](const auto& entry) { return entry.second.due <= now; });
        if (due == timers_.end())
            return;
        std::function<void()> fn = std::move(due->second.fn);
        timers_.erase(due);
        fn();
    }
}

void Unit::Changed() {
    if (hooks.ScheduleChanged)
        hooks.ScheduleChanged();
}

} // namespace unit
