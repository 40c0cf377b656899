#include "unit/poll_answers.h"

#include "unit/exchange.h"

#include <utility>

namespace exchange {

namespace {

// The position among RecentRequests of the request a frame answers, the
// newest when several share its sequence byte; -1 when it answers none.
int AnsweredRequest(const koravel::Bytes& content) {
    for (std::size_t i = RecentRequests.size(); i-- > 0;) {
        if (RecentRequests[i].sequence == content[0])
            return static_cast<int>(i);
    }
    return -1;
}

class Collector {
public:
    void Take(koravel::Bytes content, int position) {
        answers_.answered = true;
        if (position > newest_) {
            newest_ = position;
            answers_.command = RecentRequests[static_cast<std::size_t>(position)].command;
            answers_.newest = std::move(content);
        }
    }
    PollAnswers Finish() {
        if (newest_ >= 0)
            RecentRequests.erase(RecentRequests.begin(), RecentRequests.begin() + newest_ + 1);
        return std::move(answers_);
    }
    PollAnswers& answers() { return answers_; }

private:
    PollAnswers answers_;
    int newest_ = -1;
};

} // namespace

PollAnswers CollectPollAnswers() {
    Collector collector;
    for (auto it = UnclaimedFrames.begin(); it != UnclaimedFrames.end();) {
        const int position = AnsweredRequest(*it);
        if (position < 0) {
            ++it;
            continue;
        }
        collector.Take(std::move(*it), position);
        it = UnclaimedFrames.erase(it);
    }
    while (ReceiveFrame()) {
        const int position = AnsweredRequest(ReplyBuffer);
        if (position >= 0) {
            collector.Take(ReplyBuffer, position);
        } else {
            collector.answers().otherFrames = true;
            KeepUnclaimed(ReplyBuffer);
        }
    }
    return collector.Finish();
}

} // namespace exchange
