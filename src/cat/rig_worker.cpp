#include "cat/rig_worker.h"

#include "cat/hamlib_access.h"

#include <hamlib/rig.h>

#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace cat {

namespace {

// Count of worker threads still running. Never destroyed: a detached worker
// may finish while the process exits.
struct WorkerCount {
    std::mutex mutex;
    std::condition_variable done;
    int running = 0;
};

WorkerCount& Workers() {
    static auto* count = new WorkerCount;
    return *count;
}

// The rig answered, but does not report this parameter.
bool IsNoValue(int rc) {
    const int e = std::abs(rc);
    return e == RIG_ENAVAIL || e == RIG_ENIMPL || e == RIG_ENTARGET || e == RIG_ERJCTED;
}

// The rig (or the way to it) has no PTT read at all.
bool HasNoPtt(int rc) {
    const int e = std::abs(rc);
    return e == RIG_ENAVAIL || e == RIG_ENIMPL;
}

class Worker {
public:
    Worker(std::shared_ptr<RigChannel> channel, RigConfig config)
        : channel_(std::move(channel)), config_(std::move(config)) {}

    void Run();

private:
    bool CreateRig();
    void DestroyRig();
    // One reading of every parameter. RIG_OK, or the failing call's code.
    int Read(RigValues& values);
    // The PTT into values when the rig tells it. Never a reason to call the
    // rig not responding: the frequency reads decide that.
    void ReadPtt(RigValues& values);
    void SetConf(const char* name, const std::string& value);

    std::shared_ptr<RigChannel> channel_;
    RigConfig config_;
    RIG* rig_ = nullptr;
    bool open_ = false;
    bool answered_ = false; // the rig has been on line since this worker started
    bool noPtt_ = false;    // the open rig said it has no PTT read: not asked again
};

void Worker::SetConf(const char* name, const std::string& value) {
    const token_t token = rig_token_lookup(rig_, name);
    if (token != RIG_CONF_END) {
        rig_set_conf(rig_, token, value.c_str());
    }
}

bool Worker::CreateRig() {
    {
        std::lock_guard lock(HamlibListLock());
        rig_ = rig_init(static_cast<rig_model_t>(config_.model));
    }
    if (rig_ == nullptr) {
        return false;
    }
    if (!config_.port.empty()) {
        SetConf("rig_pathname", config_.port);
    }
    if (config_.speed > 0) {
        SetConf("serial_speed", std::to_string(config_.speed));
    }
    // Hamlib's own defaults (NET rigctl: several seconds, several retries) would
    // keep a silent rig's call busy for most of a minute.
    SetConf("timeout", std::to_string(config_.timeoutMs));
    SetConf("retry", "0");
    // Every reading goes to the rig: a cached value would delay changes.
    rig_set_cache_timeout_ms(rig_, HAMLIB_CACHE_ALL, 0);
    return true;
}

void Worker::DestroyRig() {
    if (rig_ == nullptr) {
        return;
    }
    if (open_) {
        std::lock_guard lock(HamlibOpenLock());
        rig_close(rig_);
        open_ = false;
    }
    std::lock_guard lock(HamlibListLock());
    rig_cleanup(rig_);
    rig_ = nullptr;
}

int Worker::Read(RigValues& values) {
    freq_t freq = 0;
    int rc = rig_get_freq(rig_, RIG_VFO_CURR, &freq);
    if (rc == RIG_OK) {
        values.freqHz = freq;
    } else if (!IsNoValue(rc)) {
        return rc;
    }
    if (channel_->Stopping()) {
        return RIG_OK;
    }

    ReadPtt(values);
    if (channel_->Stopping()) {
        return RIG_OK;
    }

    rmode_t mode = RIG_MODE_NONE;
    pbwidth_t width = 0;
    rc = rig_get_mode(rig_, RIG_VFO_CURR, &mode, &width);
    if (rc == RIG_OK) {
        values.mode = static_cast<std::uint64_t>(mode);
        values.passband = static_cast<long>(width);
    } else if (!IsNoValue(rc)) {
        return rc;
    }
    if (channel_->Stopping()) {
        return RIG_OK;
    }

    vfo_t vfo = RIG_VFO_NONE;
    rc = rig_get_vfo(rig_, &vfo);
    if (rc == RIG_OK) {
        values.vfo = static_cast<int>(vfo);
    } else if (!IsNoValue(rc)) {
        return rc;
    }
    if (channel_->Stopping()) {
        return RIG_OK;
    }

    split_t split = RIG_SPLIT_OFF;
    vfo_t txVfo = RIG_VFO_NONE;
    rc = rig_get_split_vfo(rig_, RIG_VFO_CURR, &split, &txVfo);
    if (rc == RIG_OK) {
        values.split = static_cast<int>(split);
        values.txVfo = static_cast<int>(txVfo);
    } else if (!IsNoValue(rc)) {
        return rc;
    }
    return RIG_OK;
}

void Worker::ReadPtt(RigValues& values) {
    if (noPtt_) {
        return;
    }
    ptt_t ptt = RIG_PTT_OFF;
    const int rc = rig_get_ptt(rig_, RIG_VFO_CURR, &ptt);
    if (rc == RIG_OK) {
        values.ptt = ptt != RIG_PTT_OFF;
    } else if (HasNoPtt(rc)) {
        noPtt_ = true;
    }
    // Any other failure leaves the PTT unknown for this reading, which counts
    // as not transmitting; a rig that stopped answering fails its next
    // frequency read.
}

void Worker::Run() {
    while (!channel_->Stopping()) {
        if (rig_ == nullptr && !CreateRig()) {
            channel_->Publish(kStatusPortBusy, {},
                              "Hamlib cannot set up rig model " + std::to_string(config_.model));
            if (channel_->WaitForStop(config_.retryMs)) {
                break;
            }
            continue;
        }
        if (!open_) {
            int rc = 0;
            {
                std::lock_guard lock(HamlibOpenLock());
                rc = rig_open(rig_);
            }
            if (rc != RIG_OK) {
                // A port that cannot be opened is "busy" until the rig has answered
                // once; after that, losing it again means it stopped responding.
                const bool portError = std::abs(rc) == RIG_EIO || std::abs(rc) == RIG_ECONF;
                const int status = portError && !answered_ ? kStatusPortBusy : kStatusNotResponding;
                channel_->Publish(status, {}, HamlibErrorText(rc));
                if (channel_->WaitForStop(config_.retryMs)) {
                    break;
                }
                continue;
            }
            open_ = true;
            noPtt_ = false;
        }

        RigValues values;
        const int rc = Read(values);
        if (channel_->Stopping()) {
            break;
        }
        if (rc != RIG_OK) {
            {
                std::lock_guard lock(HamlibOpenLock());
                rig_close(rig_);
            }
            open_ = false;
            channel_->Publish(kStatusNotResponding, {}, HamlibErrorText(rc));
            if (channel_->WaitForStop(config_.retryMs)) {
                break;
            }
            continue;
        }
        answered_ = true;
        channel_->Publish(kStatusOnLine, values, {});
        if (channel_->WaitForStop(config_.pollMs)) {
            break;
        }
    }
    DestroyRig();
}

} // namespace

RigChannel::RigChannel(int rigNumber, int initialStatus)
    : rigNumber_(rigNumber), status_(initialStatus) {}

int RigChannel::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

RigValues RigChannel::Values() const {
    std::lock_guard lock(mutex_);
    return values_;
}

std::pair<int, RigValues> RigChannel::Snapshot() const {
    std::lock_guard lock(mutex_);
    return {status_, values_};
}

std::string RigChannel::LastError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void RigChannel::SetNotify(RigNotify notify) {
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

void RigChannel::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        notify_ = nullptr;
    }
    wake_.notify_all();
}

bool RigChannel::Stopping() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

void RigChannel::Publish(int status, const RigValues& values, const std::string& error) {
    std::lock_guard lock(mutex_);
    if (stop_) {
        return;
    }
    const int oldStatus = status_;
    const int params = ChangedParams(values_, values);
    status_ = status;
    values_ = values;
    error_ = error;
    if (!notify_) {
        return;
    }
    if (status != oldStatus) {
        notify_(RigEvent::StatusChange, rigNumber_, 0);
    }
    if (params != 0) {
        notify_(RigEvent::ParamsChange, rigNumber_, params);
    }
}

bool RigChannel::WaitForStop(int ms) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void StartRigWorker(std::shared_ptr<RigChannel> channel, RigConfig config) {
    InitHamlib();
    {
        std::lock_guard lock(Workers().mutex);
        ++Workers().running;
    }
    auto finished = [] {
        WorkerCount& count = Workers();
        std::lock_guard lock(count.mutex);
        --count.running;
        count.done.notify_all();
    };
    try {
        std::thread([channel, config = std::move(config), finished]() mutable {
            {
                Worker worker(std::move(channel), std::move(config));
                worker.Run();
            }
            finished();
        }).detach();
    } catch (const std::system_error& e) {
        finished();
        channel->Publish(kStatusNotResponding, {},
                         std::string("cannot start the rig's thread: ") + e.what());
    }
}

int RunningRigWorkers() {
    std::lock_guard lock(Workers().mutex);
    return Workers().running;
}

bool WaitForRigWorkers(int timeoutMs) {
    WorkerCount& count = Workers();
    std::unique_lock lock(count.mutex);
    return count.done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&count] { return count.running == 0; });
}

} // namespace cat
