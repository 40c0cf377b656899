// What the CAT back end knows of one rig: its status (the values OmniRig
// uses) and the parameters read from it, with the comparison that decides
// which parameter-change bits a new reading raises. Pure code, no Hamlib calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cat {

// Rig status, as OmniRig reports it.
enum RigStatus : int {
    kStatusNotConfigured = 0, // Model=0 in omnirig.ini
    kStatusDisabled = 1,      // Enabled=false in omnirig.ini
    kStatusPortBusy = 2,      // the port cannot be opened (and the rig never answered yet)
    kStatusNotResponding = 3, // the port is open but the rig does not answer, or it stopped
    kStatusOnLine = 4,        // reads succeed
};

// A datagram rig that has gone quiet, for a program that words it itself.
struct DatagramSilence {
    bool everHeard = false; // false: nothing heard yet since the start
    int seconds = 0;        // since the rig was last heard (everHeard)
    int udpPort = 0;        // where it listens
};

// What a datagram rig heard on its port, for a program that words it.
struct DatagramCounts {
    bool wsjtx = false;          // WSJT-X's Status messages, else RadioInfo
    int udpPort = 0;             // where it listens
    std::uint64_t datagrams = 0; // every datagram that came
    std::uint64_t malformed = 0; // of those, dropped as malformed
    std::string lastMalformed;   // why the last malformed one was dropped
    std::string receiveError;    // the socket's last error, empty when none
};

// Bits of the Params argument of the parameter-change notification.
enum ParamBits : int {
    kParamFreq = 0x01,  // frequency of the current VFO
    kParamMode = 0x02,  // mode or passband width
    kParamVfo = 0x04,   // current VFO
    kParamSplit = 0x08, // split on/off or the transmit VFO
    kParamTx = 0x10,    // the rig went into transmit or back to receive
};

// Parameters last read from a rig. An empty member is one the rig does not
// report (Hamlib: not available or not implemented) or one not read yet.
struct RigValues {
    std::optional<double> freqHz;
    std::optional<std::uint64_t> mode; // Hamlib rmode_t
    std::optional<long> passband;      // Hamlib pbwidth_t
    std::optional<int> vfo;            // Hamlib vfo_t
    std::optional<int> split;          // Hamlib split_t
    std::optional<int> txVfo;          // Hamlib vfo_t
    std::optional<bool> ptt;           // true while the rig transmits

    bool operator==(const RigValues&) const = default;
};

// The ParamBits of everything that differs between two readings. A value
// that appears or disappears counts as changed, except the PTT: there only
// Transmitting() counts.
int ChangedParams(const RigValues& before, const RigValues& after);

// Whether the rig transmits: a PTT that cannot be read counts as off.
bool Transmitting(const RigValues& values);

// The frequency as whole hertz in a signed 32-bit integer, rounded to the
// nearest hertz; empty when unknown, negative or beyond 2^31 - 1 Hz (rather
// than a wrapped, wrong value).
std::optional<std::int32_t> FreqAsInt32(const RigValues& values);
// The same in 64 bits: every frequency a rig reports (a 2.4 GHz or 10 GHz
// transverter's too), so that the follow rule can tell it is beyond the
// antenna's range. Empty when unknown or negative.
std::optional<std::int64_t> FreqAsInt64(const RigValues& values);

// OmniRig-style text for a status value.
const char* StatusText(int status);

} // namespace cat
