#include "link/exchange.h"

#include "link/comm32.h"
#include "link/trace.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace exchange {

std::int32_t SequenceCounter = kFirstSequence;
frame::Receiver FrameReceiver;
koravel::Bytes& ReplyBuffer = FrameReceiver.buffer;
bool& InFrame = FrameReceiver.inFrame;
bool& EscapePending = FrameReceiver.escapePending;
std::int32_t ExchangeElapsed = 0;
bool ExchangeEnabled = false;
std::int32_t LastSentSequence = 0;
std::int32_t LastSentCommand = 0;
Hooks ExchangeHooks;
koravel::FrameTrace* Trace = nullptr;

namespace {

// Every millisecond the indicator tick has counted since the start. A waiting
// Transact measures its own wait against it: an exchange started from inside
// the wait sets ExchangeElapsed back to 0 for itself, and the outer wait must
// not start over with it, or a steady run of nested commands (tracking
// notifications, clicks) would keep the outer one waiting for ever.
std::int64_t TickClock = 0;

void Call(const std::function<void()>& hook) {
    if (hook)
        hook();
}

void Pause(int ms) {
    if (ExchangeHooks.Sleep)
        ExchangeHooks.Sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void WriteByte(std::uint8_t b) {
    const std::uint8_t one[1] = {b};
    comm32::WriteText(one);
}

void WriteEscaped(std::uint8_t b) {
    if (frame::NeedsEscape(b)) {
        WriteByte(frame::kEscape);
        WriteByte(static_cast<std::uint8_t>(b & 0x7F));
    } else {
        WriteByte(b);
    }
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

void SendFrame(koravel::ByteView content) {
    Call(ExchangeHooks.LightTx);
    Call(ExchangeHooks.ProcessMessages);
    const std::uint8_t checksum = frame::Checksum(content);
    if (Trace != nullptr)
        Trace->Log("tx", frame::WithChecksum(content));
    WriteByte(frame::kStart);
    for (std::uint8_t b : content)
        WriteEscaped(b);
    WriteEscaped(checksum);
    WriteByte(frame::kEnd);
}

bool ReceiveFrame() {
    std::uint8_t b = 0;
    while (comm32::ReadByte(b)) {
        switch (FrameReceiver.Push(b)) {
        case frame::Feed::Pending:
            break;
        case frame::Feed::Frame:
            if (Trace != nullptr)
                Trace->Log("rx", ReplyBuffer);
            return true;
        case frame::Feed::Rejected:
            if (b == frame::kEnd)
                return false; // bytes after the end byte wait for the next call
            break;
        }
    }
    return false;
}

std::uint8_t Transact(std::uint8_t command, koravel::ByteView argument, bool replyFlag,
                      int attempts, int timeoutMs) {
    SequenceCounter = (SequenceCounter + 1) & 0x7F;
    if (replyFlag)
        SequenceCounter |= 0x80;
    const auto sequence = static_cast<std::uint8_t>(SequenceCounter & 0xFF);
    const koravel::Bytes content = RequestContent(sequence, command, argument);

    while (ExchangeEnabled && attempts > 0) {
        SendFrame(content);
        ExchangeElapsed = 0;
        const std::int64_t sentAt = TickClock;
        for (;;) {
            Call(ExchangeHooks.ProcessMessages);
            if (ReceiveFrame()) {
                Call(ExchangeHooks.FrameReceived);
                if (ReplyBuffer[0] == sequence) {
                    const std::uint8_t status = ReplyBuffer[1];
                    ReplyBuffer.erase(ReplyBuffer.begin(), ReplyBuffer.begin() + 2);
                    return status;
                }
                // a reply to another request: dropped, the wait goes on
            }
            Pause(kWaitPassMs);
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

std::uint8_t SendCommand(std::uint8_t command, koravel::ByteView argument) {
    constexpr int kCommandAttempts = 4;
    constexpr int kCommandTimeoutMs = 100;
    ExchangeEnabled = true;
    return Transact(command, argument, true, kCommandAttempts, kCommandTimeoutMs);
}

void SendRequest(std::uint8_t command, koravel::ByteView argument) {
    SequenceCounter = (SequenceCounter & 0x7F) + 1;
    LastSentSequence = SequenceCounter;
    LastSentCommand = command;
    SendFrame(RequestContent(static_cast<std::uint8_t>(SequenceCounter & 0xFF), command, argument));
}

void TimerTick(int intervalMs) {
    TickClock += intervalMs;
    ExchangeElapsed += intervalMs;
}

void ResetExchange() {
    SequenceCounter = kFirstSequence;
    FrameReceiver.Reset();
    ExchangeElapsed = 0;
    ExchangeEnabled = false;
    LastSentSequence = 0;
    LastSentCommand = 0;
}

} // namespace exchange
