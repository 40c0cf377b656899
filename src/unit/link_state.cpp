#include "unit/link_state.h"

namespace unit {

PollVerdict WeighPollTick(const PollAnswers& answers, bool& connected, std::int32_t& silentTicks) {
    if (answers.answered) {
        silentTicks = 0;
        connected = true;
        return PollVerdict::Answered;
    }
    if (!answers.otherFrames && connected) {
        ++silentTicks;
        if (silentTicks > kMaxSilentTicks) {
            connected = false;
            return PollVerdict::LinkLost;
        }
    }
    return PollVerdict::Silent;
}

std::optional<koravel::StatusReply> PolledStatus(const PollAnswers& answers) {
    if (!answers.answered || answers.command != koravel::kCommandStatus)
        return std::nullopt;
    return koravel::DecodeStatusReply(answers.newest);
}

} // namespace unit
