#include "unit/poll_loop.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <poll.h>

namespace unit {

void PollLoop::Watch(int fd, std::function<void()> onReadable) {
    watched_.push_back(Watched{fd, std::move(onReadable)});
}

bool PollLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    stopped_ = false;
    const Millis start = SteadyMillis();
    const Millis end = timeoutMs < 0 ? kNever : start + timeoutMs;
    std::vector<pollfd> fds;
    for (;;) {
        if (done())
            return true;
        if (stopped_)
            return false;
        // Each unit on its own clock: how long until the first is due.
        Millis wait = end == kNever ? kNever : end - SteadyMillis();
        for (Unit* unit : units_) {
            const Millis due = unit->NextDue();
            if (due != kNever)
                wait = std::min(wait, due - unit->Now());
        }
        if (wait <= 0 && end != kNever && SteadyMillis() >= end)
            return done();
        fds.clear();
        for (Unit* unit : units_)
            fds.push_back(pollfd{unit->InputFd(), POLLIN, 0});
        for (const Watched& w : watched_)
            fds.push_back(pollfd{w.fd, POLLIN, 0});
        const int ms = wait == kNever ? -1 : static_cast<int>(std::clamp<Millis>(wait, 0, 60000));
        const int rc = ::poll(fds.data(), fds.size(), ms);
        if (rc < 0 && errno != EINTR)
            return done();
        if (rc > 0) {
            for (std::size_t i = 0; i < units_.size(); ++i) {
                if (fds[i].fd >= 0 && fds[i].revents != 0)
                    units_[i]->OnInput();
            }
            for (std::size_t i = 0; i < watched_.size(); ++i) {
                if (fds[units_.size() + i].revents != 0)
                    watched_[i].onReadable();
            }
        }
        for (Unit* unit : units_) {
            if (unit->Now() >= unit->NextDue())
                unit->OnTimer();
        }
    }
}

Reply Await(PollLoop& loop, const std::function<void(ReplyHandler)>& ask) {
    // Shared with the handler: a loop stopped before the reply leaves the
    // exchange running, and its end must find somewhere to go.
    auto result = std::make_shared<std::optional<Reply>>();
    ask([result](const Reply& reply) { *result = reply; });
    loop.RunUntil([&result] { return result->has_value(); });
    return result->value_or(Reply{});
}

} // namespace unit
