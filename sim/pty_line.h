// The pseudo-terminal that plays the serial line, and the ports/com<N> link
// through which the program under test finds it.
#pragma once

#include <string>

namespace sim {

struct PtyPair {
    int master = -1;
    // Kept open inside the simulator, so the master never sees a hang-up
    // while the program under test closes and reopens the port.
    int slave = -1;
    std::string slavePath;
};

// Opens a pair with both sides in raw mode at 19200 baud; the master does
// not block. False with a message on failure (nothing left open).
bool OpenRawPty(PtyPair& pty, std::string& error);
void ClosePty(PtyPair& pty);

// Links linkPath to target. A link already there is replaced when it points to
// a pseudo-terminal or to nothing (a simulator's stale link); anything else
// (a link to a real device, a file) is left alone and the call fails.
bool MakePortLink(const std::string& linkPath, const std::string& target, std::string& error);
// Removes linkPath if it still points to target.
void RemovePortLink(const std::string& linkPath, const std::string& target);

} // namespace sim
