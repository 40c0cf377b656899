// The command exchange with the control unit: framed requests, the wait for
// the reply that carries the same sequence byte, attempts and time-outs.
// Plain procedures over module state, one instance for the process.
//
// Time is counted by the caller's 50 ms tick (TimerTick), which runs from the
// ProcessMessages hook while Transact waits; nothing here reads a clock.
#pragma once

#include "link/bytes.h"
#include "link/frame.h"

#include <cstdint>
#include <functional>

namespace koravel {
class FrameTrace;
}

namespace exchange {

// Result of Transact when no matching reply came.
constexpr std::uint8_t kNoReply = 255;
// Interval of the indicator tick that counts ExchangeElapsed.
constexpr int kTickMs = 50;
// Pause of Transact's wait loop per pass.
constexpr int kWaitPassMs = 10;
constexpr std::int32_t kFirstSequence = 12;

// Module state.
extern std::int32_t SequenceCounter;
extern frame::Receiver FrameReceiver;
extern koravel::Bytes& ReplyBuffer; // the receiver's buffer
extern bool& InFrame;
extern bool& EscapePending;
extern std::int32_t ExchangeElapsed;
extern bool ExchangeEnabled;
extern std::int32_t LastSentSequence;
extern std::int32_t LastSentCommand;

// What the caller installs. Every hook may be empty.
struct Hooks {
    // Let the window process its pending messages (timers, clicks, ...).
    std::function<void()> ProcessMessages;
    // Paint the TX lamp lit.
    std::function<void()> LightTx;
    // A valid frame reached Transact: the poll's silent-tick count restarts.
    std::function<void()> FrameReceived;
    // Pause for the given milliseconds; empty means a real sleep.
    std::function<void(int ms)> Sleep;
};
extern Hooks ExchangeHooks;
// Where frames are traced both ways, or null.
extern koravel::FrameTrace* Trace;

// Lights the TX lamp, lets the window process messages, then writes the
// frame: start byte, content and checksum escaped, end byte, each byte (or
// escape pair member) by its own write.
void SendFrame(koravel::ByteView content);
// Reads what the port holds until a frame completes. True when an intact
// frame of at least two bytes is in ReplyBuffer (checksum as its last byte).
bool ReceiveFrame();
// Sends a request and waits for its reply. Returns the unit's status byte, or
// kNoReply. After a status is returned, ReplyBuffer holds the payload and the
// checksum byte.
std::uint8_t Transact(std::uint8_t command, koravel::ByteView argument, bool replyFlag,
                      int attempts, int timeoutMs);
// An operator command (a band, an arrow, a direction, retract, or the rig's
// frequency): enables the exchange, then Transact with the reply flag, four
// attempts and 100 ms each. Returns Transact's result.
std::uint8_t SendCommand(std::uint8_t command, koravel::ByteView argument);
// Sends a request without waiting; records LastSentSequence and LastSentCommand.
void SendRequest(std::uint8_t command, koravel::ByteView argument);
// The exchange's share of the 50 ms indicator tick: ExchangeElapsed grows.
void TimerTick(int intervalMs = kTickMs);

// Back to the start values (hooks and trace are kept).
void ResetExchange();

} // namespace exchange
