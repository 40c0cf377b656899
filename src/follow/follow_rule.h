// The follow rule: what a followed rig's frequency sends to the unit. The
// window's tracking step, koravelctl follow and the station server all ask
// this one rule.
//
// The unit is tuned in whole kHz (the rig's hertz divided by 1000, truncated)
// up to 65,535 kHz: a rig beyond that (4 m, 2 m, ...) is not sent, rather
// than sent cut to 16 bits, a frequency nobody chose. Keying the rig is no
// reason to tune, and the worst moment for it: a change of the PTT alone
// sends nothing.
#pragma once

#include <cstdint>
#include <optional>

namespace follow {

// The CAT server's status of a rig that answers.
constexpr int kRigOnLine = 4;

struct Step {
    enum class Verdict {
        Send,        // tune the unit to khz
        OutOfRange,  // the rig is beyond the antenna's range (khz): nothing sent
        NoFrequency, // no frequency to follow (none read, or below 0)
    };
    Verdict verdict = Verdict::NoFrequency;
    std::uint32_t khz = 0;
};

// What a rig frequency (hertz, as read; nullopt when none was read) sends.
Step StepFor(std::optional<std::int64_t> hz);

// Whether a parameter change (the CAT server's Params bits) is a reason to
// send the frequency again: every change is, except the PTT alone.
bool RetuneOn(int params, int pttBit);

// The out-of-range state of one rig, so that going beyond the range is told
// once, and coming back is noticed.
class RangeWatch {
public:
    // Takes the verdict of the rig's latest reading; true when the rig has
    // just gone beyond the range (it was within it, or not yet read, before).
    bool Update(const Step& step);
    bool OutOfRange() const { return outOfRange_; }
    // The frequency beyond the range, 0 while within it.
    std::uint32_t Khz() const { return outOfRange_ ? khz_ : 0; }

private:
    bool outOfRange_ = false;
    std::uint32_t khz_ = 0;
};

} // namespace follow
