// Binds every event of a TOmniRigX and records what arrived, on which thread.
// The records live in a shared block, so they outlive the client.
#pragma once

#include "cat/omnirig_tlb.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <vector>

namespace cattest {

struct EventRecord {
    enum Kind { Visible, RigType, Status, Params } kind;
    int rig = 0;
    int params = 0;
    bool onMainThread = false;
    bool senderIsClient = false;
};

class EventRecorder {
public:
    void Bind(TOmniRigX& client) {
        auto records = records_;
        auto add = [records, &client](EventRecord::Kind kind, TOmniRigX* sender, int rig,
                                      int params) {
            records->push_back({kind, rig, params,
                                QThread::currentThread() == QCoreApplication::instance()->thread(),
                                sender == &client});
        };
        client.OnVisibleChange = [add](TOmniRigX* s) { add(EventRecord::Visible, s, 0, 0); };
        client.OnRigTypeChange = [add](TOmniRigX* s, int n) { add(EventRecord::RigType, s, n, 0); };
        client.OnStatusChange = [add](TOmniRigX* s, int n) { add(EventRecord::Status, s, n, 0); };
        client.OnParamsChange = [add](TOmniRigX* s, int n, int p) {
            add(EventRecord::Params, s, n, p);
        };
    }

    int Count(EventRecord::Kind kind, int rig = -1) const {
        int n = 0;
        for (const EventRecord& r : *records_) {
            n += r.kind == kind && (rig < 0 || r.rig == rig) ? 1 : 0;
        }
        return n;
    }
    int Total() const { return static_cast<int>(records_->size()); }
    // Every event so far came on the main thread with the client as sender.
    bool AllOnMainThreadFromClient() const {
        for (const EventRecord& r : *records_) {
            if (!r.onMainThread || !r.senderIsClient) {
                return false;
            }
        }
        return true;
    }
    const std::vector<EventRecord>& Records() const { return *records_; }

private:
    std::shared_ptr<std::vector<EventRecord>> records_ =
        std::make_shared<std::vector<EventRecord>>();
};

} // namespace cattest
