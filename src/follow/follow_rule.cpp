#include "follow/follow_rule.h"

#include "protocol/commands.h"

namespace follow {

Step StepFor(std::optional<std::int64_t> hz) {
    Step step;
    if (!hz || *hz < 0)
        return step;
    const std::int64_t khz = *hz / 1000;
    step.khz = static_cast<std::uint32_t>(khz > 0xFFFFFFFFLL ? 0xFFFFFFFFLL : khz);
    step.verdict = khz > koravel::kMaxUnitKhz ? Step::Verdict::OutOfRange : Step::Verdict::Send;
    return step;
}

bool RetuneOn(int params, int pttBit) {
    return params != pttBit;
}

bool RangeWatch::Update(const Step& step) {
    if (step.verdict == Step::Verdict::NoFrequency)
        return false; // nothing learnt
    const bool beyond = step.verdict == Step::Verdict::OutOfRange;
    const bool entered = beyond && !outOfRange_;
    outOfRange_ = beyond;
    khz_ = step.khz;
    return entered;
}

} // namespace follow
