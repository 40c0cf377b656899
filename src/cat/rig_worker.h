// One rig polled through Hamlib on a thread of its own.
//
// The worker and its client share a RigChannel: the worker records the
// status and the values it reads there, the client reads them from its own
// thread. Changes are announced through the channel's notify function, which
// the worker calls with the channel locked, so Stop() (which clears it under
// the same lock) guarantees that no call reaches the client afterwards.
//
// The worker thread is detached: Stop() only asks it to end, it never waits.
// A worker blocked in a Hamlib call (at most about one Hamlib time-out) ends
// by itself after that call returns, closing and freeing its rig.
#pragma once

#include "cat/rig_state.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace cat {

struct RigConfig {
    int rigNumber = 1;  // 1 or 2
    int model = 2;      // Hamlib model number
    std::string port;   // device path or host:port; empty: Hamlib's default
    int speed = 0;      // serial speed; 0: the model's default
    int pollMs = 100;   // pause between two readings while the rig answers
    int retryMs = 1500; // pause between two attempts to reach a rig that does not answer
    int timeoutMs = 1000;
};

enum class RigEvent { StatusChange, ParamsChange };

// Called on the worker's thread with the channel locked: it must only hand
// the event on (post it), never block or call back into the channel.
using RigNotify = std::function<void(RigEvent event, int rigNumber, int params)>;

class RigChannel {
public:
    RigChannel(int rigNumber, int initialStatus);

    int RigNumber() const { return rigNumber_; }
    int Status() const;
    RigValues Values() const;
    // Status and values of one and the same reading.
    std::pair<int, RigValues> Snapshot() const;
    // Why the rig is not on line, empty when it is.
    std::string LastError() const;

    void SetNotify(RigNotify notify);
    // Asks the worker to end and drops the notify function.
    void Stop();
    bool Stopping() const;

    // Worker side: records a reading (or its failure) and announces what
    // changed: first the status, then the parameters.
    void Publish(int status, const RigValues& values, const std::string& error);
    // Worker side: waits up to ms, true when asked to stop.
    bool WaitForStop(int ms);

private:
    const int rigNumber_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    int status_;
    RigValues values_;
    std::string error_;
    RigNotify notify_;
};

// Starts a detached worker polling the rig that config describes.
void StartRigWorker(std::shared_ptr<RigChannel> channel, RigConfig config);

// Number of worker threads that have not finished yet (stopped or not).
int RunningRigWorkers();

// Waits up to timeoutMs for every worker thread to finish; true when none is
// left. For the end of the process and for tests; stopping a client never
// calls it.
bool WaitForRigWorkers(int timeoutMs);

} // namespace cat
