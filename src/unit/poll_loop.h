// An event loop over poll(2) for programs without Qt's: it drives units
// (their ports and clocks) and watches further descriptors (a signal's wake
// pipe, a listening socket) until the caller's condition holds.
//
// Work runs from the units' handlers and timers (Unit::After): a program
// that polls every 400 ms sets a timer that sets the next one.
#pragma once

#include "unit/unit.h"

#include <functional>
#include <vector>

namespace unit {

class PollLoop {
public:
    PollLoop() = default;
    explicit PollLoop(Unit& unit) { Add(unit); }
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    void Add(Unit& unit) { units_.push_back(&unit); }
    // Calls onReadable whenever fd is readable (until the loop ends).
    void Watch(int fd, std::function<void()> onReadable);

    // Runs until done() holds, Stop() is called, or timeoutMs pass
    // (negative: no limit). True when done() holds at the end.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = -1);
    // Ends RunUntil after the step that is running.
    void Stop() { stopped_ = true; }

private:
    struct Watched {
        int fd;
        std::function<void()> onReadable;
    };
    std::vector<Unit*> units_;
    std::vector<Watched> watched_;
    bool stopped_ = false;
};

// Runs loop until the exchange that ask starts has ended, and gives its
// reply: ask is called with the handler to pass to Transact or SendCommand.
Reply Await(PollLoop& loop, const std::function<void(ReplyHandler)>& ask);

} // namespace unit
