#include "unit/exchange.h"

#include "transport/comm32.h"
#include "unit/frame_trace.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace exchange {

std::int32_t SequenceCounter = kFirstSequence;
frame::Receiver FrameReceiver;
koravel::Bytes ReplyBuffer;
bool& InFrame = FrameReceiver.inFrame;
bool& EscapePending = FrameReceiver.escapePending;
std::int32_t ExchangeElapsed = 0;
bool ExchangeEnabled = false;
std::int32_t LastSentSequence = 0;
std::int32_t LastSentCommand = 0;
std::deque<SentRequest> RecentRequests;
std::deque<koravel::Bytes> UnclaimedFrames;
Hooks ExchangeHooks;
koravel::FrameTrace* Trace = nullptr;

namespace {

// Every millisecond the indicator tick has counted since the start. A waiting
// Transact measures its own wait against it: an exchange started from inside
// the wait sets ExchangeElapsed back to 0 for itself, and the outer wait must
// not start over with it, or a steady run of nested commands (tracking
// notifications, clicks) would keep the outer one waiting for ever.
std::int64_t TickClock = 0;

// Operator commands started so far: a command whose number is no longer the
// latest has been superseded.
std::uint64_t CommandsStarted = 0;

// Asked by a waiting exchange between its steps; true ends it. Empty for
// exchanges that nothing stops.
using StopCheck = std::function<bool()>;

bool Stopped(const StopCheck& stop) {
    return stop && stop();
}

void Call(const std::function<void()>& hook) {
    if (hook)
        hook();
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

// SendFrame's work; the frame is not written when stop says so once the
// window's messages have been served (a newer command ran among them).
bool WriteFrame(koravel::ByteView content, const StopCheck& stop) {
    Call(ExchangeHooks.LightTx);
    Call(ExchangeHooks.ProcessMessages);
    if (Stopped(stop))
        return false;
    if (Trace != nullptr)
        Trace->Log("tx", frame::WithChecksum(content));
    comm32::WriteText(frame::Encode(content));
    return true;
}

// Reads what the port holds until a frame ends: Frame when an intact one is
// in ReplyBuffer, Rejected when a damaged one ended (the bytes after its end
// byte wait for the next call), Pending when nothing more is waiting.
frame::Feed ReadFrame() {
    std::uint8_t b = 0;
    while (comm32::ReadByte(b)) {
        switch (FrameReceiver.Push(b)) {
        case frame::Feed::Pending:
            break;
        case frame::Feed::Frame:
            ReplyBuffer = FrameReceiver.buffer;
            if (Trace != nullptr)
                Trace->Log("rx", ReplyBuffer);
            return frame::Feed::Frame;
        case frame::Feed::Rejected:
            if (b == frame::kEnd)
                return frame::Feed::Rejected;
            break; // an overlong frame: the receiver waits for the next start
        }
    }
    return frame::Feed::Pending;
}

// A new request takes this sequence byte: frames that carry it answer an
// earlier request, and no earlier status request of the poll may claim a
// frame that now answers the new one.
void ForgetSequence(std::uint8_t sequence) {
    std::erase_if(UnclaimedFrames,
                  [sequence](const koravel::Bytes& content) { return content[0] == sequence; });
    std::erase_if(RecentRequests,
                  [sequence](const SentRequest& sent) { return sent.sequence == sequence; });
}

// Finds the reply to sequence among the unclaimed frames, else reads the
// frames waiting on the port up to it; frames for other readers are kept.
// True with the reply in ReplyBuffer. A frame with the sequence byte but no
// status byte is no reply and is dropped.
//
// Damaged frames are read past too, so that nothing the port holds is left
// waiting when no reply is there: the next pass's wait would end at once on
// those bytes.
bool TakeReply(std::uint8_t sequence) {
    for (auto it = UnclaimedFrames.begin(); it != UnclaimedFrames.end(); ++it) {
        if ((*it)[0] == sequence && it->size() >= kShortestReply) {
            ReplyBuffer = std::move(*it);
            UnclaimedFrames.erase(it);
            Call(ExchangeHooks.FrameReceived);
            return true;
        }
    }
    for (;;) {
        const frame::Feed read = ReadFrame();
        if (read == frame::Feed::Pending)
            return false;
        if (read == frame::Feed::Rejected)
            continue;
        Call(ExchangeHooks.FrameReceived);
        if (ReplyBuffer[0] != sequence)
            KeepUnclaimed(ReplyBuffer);
        else if (ReplyBuffer.size() >= kShortestReply)
            return true;
    }
}

std::uint8_t RunExchange(std::uint8_t command, koravel::ByteView argument, bool replyFlag,
                         int attempts, int timeoutMs, const StopCheck& stop) {
    SequenceCounter = (SequenceCounter + 1) & 0x7F;
    if (replyFlag)
        SequenceCounter |= 0x80;
    const auto sequence = static_cast<std::uint8_t>(SequenceCounter & 0xFF);
    ForgetSequence(sequence);
    const koravel::Bytes content = RequestContent(sequence, command, argument);

    while (ExchangeEnabled && attempts > 0) {
        if (Stopped(stop) || !WriteFrame(content, stop))
            return kNoReply;
        ExchangeElapsed = 0;
        const std::int64_t sentAt = TickClock;
        for (;;) {
            Call(ExchangeHooks.ProcessMessages);
            if (TakeReply(sequence)) {
                const std::uint8_t status = ReplyBuffer[1];
                ReplyBuffer.erase(ReplyBuffer.begin(), ReplyBuffer.begin() + 2);
                return status;
            }
            if (Stopped(stop))
                return kNoReply;
            WaitForPort(kWaitPassMs);
            if (!ExchangeEnabled)
                return kNoReply;
            // This wait's own time, whatever nested exchanges did meanwhile.
            const std::int64_t waited = TickClock - sentAt;
            ExchangeElapsed = static_cast<std::int32_t>(std::min<std::int64_t>(waited, INT32_MAX));
            if (waited > timeoutMs)
                break;
        }
        --attempts;
    }
    return kNoReply;
}

} // namespace

void SendFrame(koravel::ByteView content) {
    (void)WriteFrame(content, {});
}

bool ReceiveFrame() {
    return ReadFrame() == frame::Feed::Frame;
}

void KeepUnclaimed(koravel::ByteView content) {
    if (content.empty())
        return;
    UnclaimedFrames.emplace_back(content.begin(), content.end());
    while (UnclaimedFrames.size() > kUnclaimedFrames)
        UnclaimedFrames.pop_front();
}

std::uint8_t Transact(std::uint8_t command, koravel::ByteView argument, bool replyFlag,
                      int attempts, int timeoutMs) {
    return RunExchange(command, argument, replyFlag, attempts, timeoutMs, {});
}

CommandResult SendCommand(std::uint8_t command, koravel::ByteView argument) {
    constexpr int kCommandAttempts = 4;
    constexpr int kCommandTimeoutMs = 100;
    ExchangeEnabled = true;
    const std::uint64_t mine = ++CommandsStarted;
    const auto overtaken = [mine] { return CommandsStarted != mine; };
    CommandResult result;
    result.status =
        RunExchange(command, argument, true, kCommandAttempts, kCommandTimeoutMs, overtaken);
    result.superseded = result.status == kNoReply && overtaken();
    return result;
}

void SendRequest(std::uint8_t command, koravel::ByteView argument) {
    SequenceCounter = (SequenceCounter & 0x7F) + 1;
    LastSentSequence = SequenceCounter;
    LastSentCommand = command;
    const auto sequence = static_cast<std::uint8_t>(SequenceCounter & 0xFF);
    ForgetSequence(sequence);
    RecentRequests.push_back(SentRequest{sequence, command});
    while (RecentRequests.size() > kRecentRequests)
        RecentRequests.pop_front();
    SendFrame(RequestContent(sequence, command, argument));
}

void TimerTick(int intervalMs) {
    TickClock += intervalMs;
    // Days without an exchange must not run the count past its largest value.
    ExchangeElapsed = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{ExchangeElapsed} + intervalMs, 0, INT32_MAX));
}

void WaitForPort(int ms) {
    if (ExchangeHooks.Sleep)
        ExchangeHooks.Sleep(ms);
    else
        (void)comm32::WaitForInput(ms);
}

void Pause(int ms) {
    if (ExchangeHooks.Sleep)
        ExchangeHooks.Sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ResetExchange() {
    SequenceCounter = kFirstSequence;
    FrameReceiver.Reset();
    ReplyBuffer.clear();
    ExchangeElapsed = 0;
    ExchangeEnabled = false;
    LastSentSequence = 0;
    LastSentCommand = 0;
    RecentRequests.clear();
    UnclaimedFrames.clear();
    CommandsStarted = 0;
}

} // namespace exchange
