// The command-line client's side of the link: the unit it talks to and the
// loop that drives it, opening the port, the status query, interrupts.
#pragma once

#include "protocol/bytes.h"
#include "protocol/status_reply.h"
#include "unit/frame_trace.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ctl {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitNoReply = 4;
constexpr int kExitFailed = 5;
constexpr int kExitOutput = 6; // standard output could not be written

// The port number from the settings file's "Serialport", read as the window
// reads it (koravel::SavedPortNumber); 1 when there is none or it is 0 or
// less. nullopt, with the reason on stderr, when it is not an integer.
std::optional<int> DefaultPortNumber();

// The unit on the chosen COM number, and the poll(2) loop that drives it;
// SIGINT and SIGTERM stop the loop once InstallInterruptHandler ran.
struct Link {
    Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Where the unit traces its frames (KORAVEL_TRACE); it outlives the unit.
    std::unique_ptr<koravel::FrameTrace> trace;
    unit::Unit unit;
    unit::PollLoop loop;
    int portNumber = 0;
};

// Starts the frame trace that KORAVEL_TRACE names, if it names one; says on
// stderr when the file cannot be written (the command goes on without it).
void OpenTraceFromEnvironment(Link& link);

// Flushes and closes standard output: a command whose output did not get
// out (a full disk, a closed pipe) must not report success. exitCode, or
// kExitOutput with the reason on stderr when the output failed.
int FinishOutput(int exitCode);

// Opens and configures COM number on the unit's port as the window does,
// and enables the exchange. False, with the reason printed on stderr, when
// it does not open.
bool OpenUnitPort(unit::Unit& unit, int number);

// A network port's connection as last told: one line through print when it
// drops and one when it is back. Run now and then by the commands that keep
// running (watch, follow).
class ConnectionReport {
public:
    ConnectionReport(unit::Unit& unit, int portNumber) : unit_(unit), portNumber_(portNumber) {}
    void Check(const std::function<void(const std::string&)>& print);
    // The same, told with whether the port is connected now.
    void Check(const std::function<void(bool connected, const std::string&)>& tell);

private:
    unit::Unit& unit_;
    int portNumber_;
    bool reportedDown_ = false;
};

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
// Asks, and calls done when the answer (or none) is in.
void QueryStatus(unit::Unit& unit, std::function<void(const StatusResult&)> done);
// Asks, and runs the loop until the answer is in.
StatusResult QueryStatus(Link& link);

// Exit code for an exchange's result, with a message on stderr when it is not 0.
int ExitCodeFor(std::uint8_t result, const char* what);

// Prints a line on standard output at once.
void PrintLine(const std::string& line);

std::string DirectionName(std::uint8_t direction);
std::string FormatStatus(const koravel::StatusReply& s);

} // namespace ctl
