#include "cat/rig_state.h"

#include <cmath>
#include <limits>

namespace cat {

int ChangedParams(const RigValues& before, const RigValues& after) {
    int bits = 0;
    if (before.freqHz != after.freqHz) {
        bits |= kParamFreq;
    }
    if (before.mode != after.mode || before.passband != after.passband) {
        bits |= kParamMode;
    }
    if (before.vfo != after.vfo) {
        bits |= kParamVfo;
    }
    if (before.split != after.split || before.txVfo != after.txVfo) {
        bits |= kParamSplit;
    }
    if (Transmitting(before) != Transmitting(after)) {
        bits |= kParamTx;
    }
    return bits;
}

bool Transmitting(const RigValues& values) {
    return values.ptt.value_or(false);
}

std::optional<std::int32_t> FreqAsInt32(const RigValues& values) {
    if (!values.freqHz || !std::isfinite(*values.freqHz)) {
        return std::nullopt;
    }
    const double hz = std::round(*values.freqHz);
    if (hz < 0.0 || hz > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(hz);
}

std::optional<std::int64_t> FreqAsInt64(const RigValues& values) {
    if (!values.freqHz || !std::isfinite(*values.freqHz)) {
        return std::nullopt;
    }
    const double hz = std::round(*values.freqHz);
    // 2^63 is the first double past the 64-bit range.
    if (hz < 0.0 || hz >= 9223372036854775808.0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(hz);
}

const char* StatusText(int status) {
    switch (status) {
    case kStatusNotConfigured:
        return "Rig is not configured";
    case kStatusDisabled:
        return "Rig is disabled";
    case kStatusPortBusy:
        return "Port is not available";
    case kStatusNotResponding:
        return "Rig is not responding";
    case kStatusOnLine:
        return "On-line";
    default:
        return "Unknown status";
    }
}

} // namespace cat
