// kv100-sim: a stand-in for the antenna's control unit. It opens a
// pseudo-terminal, links its slave side as ports/com<N> in the config folder,
// and answers framed requests as the unit does. It runs on a thread of its
// own, so tests can run it in-process beside the code under test.
#pragma once

#include "protocol/bytes.h"
#include "sim/unit.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Misbehaviour on request.
struct Faults {
    double drop = 0.0;    // probability that a request gets no reply
    double corrupt = 0.0; // probability that a reply carries a bad checksum
    double noise = 0.0;   // probability of random bytes between frames
    // Extra delay before each reply: delayMs, or a time drawn from delayMs to
    // delayMaxMs when that is larger. Replies keep their order, and requests
    // that arrive meanwhile are taken in and answered in their turn.
    int delayMs = 0;
    int delayMaxMs = 0;
    std::set<int> failBlocks;  // set-up blocks answered with a non-zero status
    bool sequenceOnly = false; // every reply is the sequence byte alone (and checksum)
    bool silentStatus = false; // status requests are never answered
};

struct Options {
    int port = 1;           // linked as ports/com<port>
    std::string configDir;  // empty: the program's config folder
    UnitConfig unit;        // firmware version, start state, motion speed
    std::string eepromFile; // rewritten after every block write, when set
    std::string traceFile;  // one line per frame both ways, when set
    bool pace = true;       // 19200 baud, 10 bits a byte, both ways
    Faults faults;
    std::uint32_t seed = 1;
};

// A hook that may answer a request in place of the unit: return the reply's
// wire bytes (any bytes at all), an empty vector for no reply, or nullopt to
// let the unit answer.
using Responder = std::function<std::optional<koravel::Bytes>(const koravel::Bytes& request)>;

class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pseudo-terminal, makes the link and starts serving.
    bool Start(std::string& error);
    // Stops serving, closes the pseudo-terminal and removes the link.
    void Stop();

    std::string LinkPath() const;  // ports/com<N>
    std::string SlavePath() const; // /dev/pts/<k>

    // Thread-safe views and controls for tests.
    UnitSnapshot State() const;
    std::map<int, koravel::Bytes> Eeprom() const;
    // The intact requests received, content with checksum, in order: the
    // latest kRequestLogSize of them.
    static constexpr std::size_t kRequestLogSize = 8192;
    std::vector<koravel::Bytes> Requests() const;
    // Every request received with this command since the start (or the last
    // ClearRequests), however many the log no longer holds.
    std::size_t RequestCount(std::uint8_t command) const;
    void ClearRequests();
    void SetFaults(const Faults& faults);
    void SetResponder(Responder responder);
    // Writes bytes to the line as they stand.
    void SendRaw(const koravel::Bytes& wire);
    // Changes the unit's reported state at once.
    void Modify(const std::function<void(UnitState&)>& change);
    // Closes the master side as a pulled-out adapter does; the link stays.
    void HangUp();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
