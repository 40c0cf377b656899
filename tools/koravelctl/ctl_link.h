// The command-line client's side of the link: opening the port and driving
// the exchange's time with its own 50 ms tick.
#pragma once

#include "protocol/bytes.h"
#include "protocol/status_reply.h"

#include <functional>
#include <optional>
#include <string>

namespace ctl {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitNoReply = 4;
constexpr int kExitFailed = 5;

// The port number from the settings file's "Serialport", read as the window
// reads it (koravel::SavedPortNumber); 1 when there is none or it is 0 or
// less. nullopt, with the reason on stderr, when it is not an integer.
std::optional<int> DefaultPortNumber();

// Opens and configures port n as the window does. False, with the reason
// printed on stderr, when it does not open.
bool OpenUnitPort(int number);

// For a network port: lets it reconnect when due, and prints one line
// through print when its connection drops and one when it is back. Run now
// and then by the commands that keep running (watch, follow).
void ReportConnection(const std::function<void(const std::string&)>& print);

// Installs exchange hooks that play the 50 ms tick from the real clock (the
// waits themselves are the port's) and enables the exchange. processMessages, when given, runs
// first on every pass of a waiting exchange (an event loop's pending work).
void InstallClockHooks(std::function<void()> processMessages = {});

// Set by SIGINT/SIGTERM once InstallInterruptHandler ran.
bool Interrupted();
void InstallInterruptHandler();
// A descriptor that becomes readable when SIGINT/SIGTERM arrived (for an
// event loop to watch); -1 before InstallInterruptHandler.
int InterruptFd();

// One status query: reply flag false, two attempts, 200 ms.
struct StatusResult {
    std::uint8_t code = 255; // the unit's status byte, 255 when no reply
    std::optional<koravel::StatusReply> reply;
};
StatusResult QueryStatus();

// Exit code for a Transact result, with a message on stderr when it is not 0.
int ExitCodeFor(std::uint8_t result, const char* what);

std::string DirectionName(std::uint8_t direction);
std::string FormatStatus(const koravel::StatusReply& s);

} // namespace ctl
