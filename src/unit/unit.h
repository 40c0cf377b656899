// One control unit: its port, the frame receiver, the sequence counter, the
// status requests of the poll and their answers, and the queue of exchanges
// that wait for a reply. A process may drive as many units as it has ports.
//
// The unit does no waiting of its own. An event loop drives it (Qt's in the
// window, poll(2) in the command-line programs; see qt_driver.h and
// poll_loop.h): it watches InputFd() and calls OnInput() when bytes arrive,
// and calls OnTimer() once the clock reaches NextDue(). Tests drive it the
// same way with a clock of their own.
//
// Exchanges go out one at a time, in the order they were asked for: no
// exchange starts while another waits for its reply. Each ends exactly once,
// through its handler, with the unit's status byte or kNoReply. Operator
// commands and tracking sends (SendCommand) supersede each other: the newest
// wins, and an older one still queued or waiting ends at once, superseded,
// writing nothing more. The status requests of the poll (SendRequest) wait
// for nothing: they go to the port at once, and their answers are collected
// by the next poll tick (CollectPollAnswers), however late they came.
//
// Time is counted in the 50 ms ticks of the unit's clock: an attempt with a
// time-out of 100 ms ends at the third tick after its send, as the window's
// 50 ms indicator tick always counted it.
#pragma once

#include "protocol/bytes.h"
#include "protocol/frame.h"
#include "transport/port.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>

namespace koravel {
class FrameTrace;
}

namespace unit {

// Status of an exchange that got no matching reply.
constexpr std::uint8_t kNoReply = 255;
// The tick that counts an exchange's time.
constexpr int kTickMs = 50;
constexpr std::int32_t kFirstSequence = 12;
// Content bytes a reply needs before it answers an exchange: sequence,
// status, checksum.
constexpr std::size_t kShortestReply = 3;
// Status requests of the poll that still accept answers.
constexpr std::size_t kRecentRequests = 8;
// Answers to the poll's requests kept until the next tick collects them;
// beyond this the oldest is dropped.
constexpr std::size_t kPollFrames = 16;
// Silent poll ticks a connected link survives (about 15.6 s at 400 ms a
// tick); the next one takes it down.
constexpr std::int32_t kMaxSilentTicks = 38;
// Operator commands and tracking sends: 4 attempts of 100 ms, reply flag set.
constexpr int kCommandAttempts = 4;
constexpr int kCommandTimeoutMs = 100;

// Milliseconds of a monotonic clock.
using Millis = std::int64_t;
constexpr Millis kNever = std::numeric_limits<Millis>::max();
using Clock = std::function<Millis()>;
// The system's monotonic clock.
Millis SteadyMillis();

// How an exchange ended.
struct Reply {
    std::uint8_t status = kNoReply; // the unit's status byte; kNoReply when none came
    bool superseded = false;        // a newer command ended it before its reply
    std::uint8_t sequence = 0;      // the request's sequence byte (0 when never sent)
    koravel::Bytes payload;         // the reply's payload and checksum byte

    bool ok() const { return status == 0; }
};
using ReplyHandler = std::function<void(const Reply&)>;

// A status request of the poll.
struct SentRequest {
    std::uint8_t sequence = 0;
    std::uint8_t command = 0;
};

// What a poll tick found.
struct PollAnswers {
    bool answered = false;    // a frame answered one of the recent requests
    bool otherFrames = false; // intact frames that answer nothing came while no exchange waited
    std::uint8_t command = 0; // the command of the newest request answered
    koravel::Bytes newest;    // its answer's content, checksum included
};

struct Hooks {
    // A frame went to the port (the TX lamp).
    std::function<void()> FrameSent;
    // An intact frame came while an exchange waited (the poll's count of
    // silent ticks restarts).
    std::function<void()> FrameHeard;
    // NextDue() or InputFd() may have changed: the loop looks at them again.
    std::function<void()> ScheduleChanged;
    // An intact frame answers one of the poll's recent status requests
    // (request): called as soon as it is read, before the next poll tick
    // collects it, for a client that shows the answer at once (the station
    // server pushes it to its clients). content is the frame's content,
    // checksum included. The hook only looks: the answer is still collected
    // by CollectPollAnswers as before, and the hook must not call back into
    // the unit's input.
    std::function<void(const SentRequest& request, const koravel::Bytes& content)> PollAnswered;
};

class Unit {
public:
    explicit Unit(Clock clock = SteadyMillis,
                  const transport::SystemCalls& sys = transport::RealSystemCalls());
    ~Unit();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    transport::Port& Port() { return *port_; }
    const transport::Port& Port() const { return *port_; }

    // ---- Exchanges ---------------------------------------------------------

    // Sends a request and waits for its reply: a frame that echoes the
    // request's sequence byte and holds a status byte. attempts sends of the
    // same frame, each waited on for timeoutMs. done is called once, with
    // the status (and the payload), or kNoReply. While the exchange is not
    // enabled it ends at once with kNoReply, sending nothing.
    void Transact(std::uint8_t command, koravel::ByteView argument, bool replyFlag, int attempts,
                  int timeoutMs, ReplyHandler done);
    // An operator command or a tracking send: enables the exchange, ends
    // every older command still queued or waiting (superseded), then
    // Transact with the reply flag, 4 attempts and 100 ms each.
    void SendCommand(std::uint8_t command, koravel::ByteView argument, ReplyHandler done = {});
    // A status request of the poll: goes to the port at once, waits for
    // nothing; recorded among RecentRequests.
    void SendRequest(std::uint8_t command, koravel::ByteView argument);
    // Reads what the port holds, then hands over the answers to the recent
    // status requests that came since the last call. Once a request is
    // answered, it and the requests before it are forgotten: an answer for
    // them that comes later is older news than what was shown.
    PollAnswers CollectPollAnswers();

    bool ExchangeEnabled() const { return exchangeEnabled_; }
    void SetExchangeEnabled(bool enabled) { exchangeEnabled_ = enabled; }
    // No exchange waits or is queued.
    bool Idle() const;
    // Sequence byte of the exchange waiting for its reply; 0 when none.
    std::uint8_t WaitingSequence() const;

    // ---- The event loop's side -------------------------------------------

    // The descriptor to watch for input (transport::kNoHandle: none).
    transport::Handle InputFd() const { return port_->InputFd(); }
    // When OnTimer is next due, on the unit's clock; kNever when nothing is.
    Millis NextDue() const;
    // Bytes may have arrived: reads them (a bounded amount per call, so that
    // a flooding peer cannot hold the loop) and handles the frames.
    void OnInput();
    // Time passed: ends attempts that ran out, starts the next, runs the
    // timers that are due, looks after the port.
    void OnTimer();
    Millis Now() const { return clock_(); }

    // A call of fn once ms milliseconds have passed (work driven over the
    // unit, such as the set-up transfer's pauses). 0 means never a timer.
    using TimerId = std::uint64_t;
    TimerId After(int ms, std::function<void()> fn);
    void CancelTimer(TimerId id);

    // Reads and drops up to most bytes waiting at the port, not as frames.
    std::size_t DiscardInput(std::size_t most);
    // Bytes taken from the port so far, as frames or dropped: the difference
    // between two readings is what came in between, whoever read it.
    std::uint64_t BytesRead() const { return bytesRead_; }

    // ---- State, under its long-standing names -----------------------------

    std::int32_t SequenceCounter() const { return sequenceCounter_; }
    void SetSequenceCounter(std::int32_t value) { sequenceCounter_ = value; }
    // The content of the frame last received, checksum included.
    const koravel::Bytes& ReplyBuffer() const { return replyBuffer_; }
    const frame::Receiver& FrameReceiver() const { return receiver_; }
    // Milliseconds (in whole ticks) since the waiting exchange's last send.
    std::int32_t ExchangeElapsed() const;
    std::int32_t LastSentSequence() const { return lastSentSequence_; }
    std::int32_t LastSentCommand() const { return lastSentCommand_; }
    const std::deque<SentRequest>& RecentRequests() const { return recentRequests_; }

    Hooks hooks;
    // Where frames are traced both ways, or null.
    koravel::FrameTrace* trace = nullptr;

private:
    struct Exchange;

    void Submit(std::uint8_t command, koravel::ByteView argument, bool replyFlag, int attempts,
                int timeoutMs, bool supersedable, ReplyHandler done);
    // Starts the next queued exchange when none waits.
    void Pump();
    void SendAttempt();
    void Finish(std::unique_ptr<Exchange> exchange, Reply reply);
    void WriteFrame(koravel::ByteView content);
    // The bytes taken.
    std::size_t ReadPort(std::size_t budget);
    void HandleInput();
    void Dispatch(const koravel::Bytes& content);
    void ForgetSequence(std::uint8_t sequence);
    Millis AttemptDeadline() const;
    void RunDueTimers();
    void Changed();

    Clock clock_;
    std::unique_ptr<transport::Port> port_;
    bool exchangeEnabled_ = false;
    std::int32_t sequenceCounter_ = kFirstSequence;
    std::int32_t lastSentSequence_ = 0;
    std::int32_t lastSentCommand_ = 0;
    frame::Receiver receiver_;
    koravel::Bytes replyBuffer_;
    // Bytes read from the port and not yet handed to the receiver; a handler
    // that runs a nested loop goes on from here, in order.
    koravel::Bytes input_;
    std::size_t inputAt_ = 0;
    std::uint64_t bytesRead_ = 0;

    std::unique_ptr<Exchange> waiting_;
    std::deque<std::unique_ptr<Exchange>> queue_;

    std::deque<SentRequest> recentRequests_;
    std::deque<koravel::Bytes> pollFrames_;
    bool otherFrames_ = false;

    struct Timer {
        Millis due;
        std::function<void()> fn;
    };
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    // When a network port whose connection is down is next looked after.
    Millis upkeepDue_ = 0;
};

} // namespace unit
