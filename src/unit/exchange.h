// The command exchange with the control unit: framed requests, the wait for
// the reply that carries the same sequence byte, attempts and time-outs.
// Plain procedures over module state, one instance for the process.
//
// Time is counted by the caller's 50 ms tick (TimerTick), which runs from the
// ProcessMessages hook while Transact waits; nothing here reads a clock. Each
// pass of the wait lasts at most 10 ms and ends as soon as bytes arrive at
// the port, so a reply is taken as soon as its last byte is in.
//
// Several readers share the port: a waiting Transact, the poll tick that runs
// inside its wait, another Transact nested deeper. A reader that takes an
// intact frame which is not its own keeps it among the unclaimed frames, where
// its owner (the Transact whose sequence byte it carries, or the poll looking
// for answers to its recent status requests) finds it.
#pragma once

#include "protocol/bytes.h"
#include "protocol/frame.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace koravel {
class FrameTrace;
}

namespace exchange {

// Result of Transact when no matching reply came.
constexpr std::uint8_t kNoReply = 255;
// Interval of the indicator tick that counts ExchangeElapsed.
constexpr int kTickMs = 50;
// Longest pass of Transact's wait loop: a pass ends earlier when bytes
// arrive at the port.
constexpr int kWaitPassMs = 10;
constexpr std::int32_t kFirstSequence = 12;
// Content bytes a reply needs before Transact takes it: sequence, status,
// checksum.
constexpr std::size_t kShortestReply = 3;
// Status requests of SendRequest that the poll still accepts answers to.
constexpr std::size_t kRecentRequests = 8;
// Frames kept for their owners; beyond this the oldest is dropped.
constexpr std::size_t kUnclaimedFrames = 16;

// A request sent by SendRequest.
struct SentRequest {
    std::uint8_t sequence = 0;
    std::uint8_t command = 0;
};

// Module state.
extern std::int32_t SequenceCounter;
extern frame::Receiver FrameReceiver;
// The content of the frame last received, checksum included; after Transact
// returns a status, the reply's payload and checksum.
extern koravel::Bytes ReplyBuffer;
extern bool& InFrame;
extern bool& EscapePending;
extern std::int32_t ExchangeElapsed;
extern bool ExchangeEnabled;
extern std::int32_t LastSentSequence;
extern std::int32_t LastSentCommand;
// The last kRecentRequests requests of SendRequest, oldest first. A record
// goes when Transact takes its sequence byte for a request of its own: a
// frame with that byte then answers the newer request.
extern std::deque<SentRequest> RecentRequests;
// Intact frames (content with checksum) read by a reader they were not for,
// oldest first. A frame goes when its owner claims it, when a new request
// takes its sequence byte (it then answers nothing still waiting), or when
// kUnclaimedFrames newer ones came after it.
extern std::deque<koravel::Bytes> UnclaimedFrames;

// What the caller installs. Every hook may be empty.
struct Hooks {
    // Let the window process its pending messages (timers, clicks, ...).
    std::function<void()> ProcessMessages;
    // Paint the TX lamp lit.
    std::function<void()> LightTx;
    // A valid frame reached Transact: the poll's silent-tick count restarts.
    std::function<void()> FrameReceived;
    // Plays the time of every wait in place of the port and the clock
    // (tests and fuzz targets run on virtual time with it): WaitForPort and
    // Pause call it with their milliseconds and return. Empty: WaitForPort
    // waits on the port, Pause sleeps.
    std::function<void(int ms)> Sleep;
};
extern Hooks ExchangeHooks;
// Where frames are traced both ways, or null.
extern koravel::FrameTrace* Trace;

// Lights the TX lamp, lets the window process messages, then writes the
// frame: start byte, content and checksum escaped, end byte, in one write.
void SendFrame(koravel::ByteView content);
// Reads what the port holds until a frame completes. True when an intact
// frame of at least two bytes is in ReplyBuffer (checksum as its last byte).
bool ReceiveFrame();
// Keeps a frame read by a reader it was not for, for its owner.
void KeepUnclaimed(koravel::ByteView content);
// Sends a request and waits for its reply: a frame that echoes the request's
// sequence byte and holds at least kShortestReply content bytes. Returns the
// unit's status byte, or kNoReply. After a status is returned, ReplyBuffer
// holds the payload and the checksum byte.
std::uint8_t Transact(std::uint8_t command, koravel::ByteView argument, bool replyFlag,
                      int attempts, int timeoutMs);

// The outcome of an operator command or a tracking send.
struct CommandResult {
    std::uint8_t status = kNoReply; // the unit's status byte, kNoReply when none came
    bool superseded = false;        // a newer command was started before a reply came
};
// An operator command (a band, an arrow, a direction, retract, or the rig's
// frequency): enables the exchange, then Transact with the reply flag, four
// attempts and 100 ms each. The newest command wins: once another command
// has been started, this one writes nothing more (not even a frame it was
// about to write when the newer one ran) and stops waiting, so no older
// target reaches the unit after a newer one. Plain Transact calls (status
// requests, set-up block writes) neither stop commands nor are stopped.
CommandResult SendCommand(std::uint8_t command, koravel::ByteView argument);
// Sends a request without waiting; records LastSentSequence, LastSentCommand
// and the request among RecentRequests.
void SendRequest(std::uint8_t command, koravel::ByteView argument);
// The exchange's share of the 50 ms indicator tick: ExchangeElapsed grows,
// up to its largest value.
void TimerTick(int intervalMs = kTickMs);

// Waits until bytes arrive at the port or ms milliseconds pass, whichever
// comes first (the Sleep hook instead, when one is installed).
void WaitForPort(int ms);
// Waits ms milliseconds whatever arrives (the Sleep hook instead, when one
// is installed).
void Pause(int ms);

// Back to the start values (hooks and trace are kept).
void ResetExchange();

} // namespace exchange
