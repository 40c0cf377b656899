// The station server's unit: one unit::Unit on a COM number, driven by Qt's
// event loop, polled every 400 ms as the window polls it, reopened by itself
// while its port is absent or hung up, and shared by every client of the
// server. Clients reach it through this object only: the unit-protocol
// clients' requests (Submit), the operators' commands of the HTTP API and
// --follow (Command: newest wins across all of them), and set-up uploads
// (StartUpload, one writer at a time with the unit-protocol clients).
//
// What the server knows of the unit is the State(); every change of it is
// told to the listeners (OnChange) at once, status answers included as soon
// as they are read.
#pragma once

#include "ini/profile.h"
#include "server/unit_clients.h"
#include "setup/check.h"
#include "setup/transfer.h"
#include "unit/frame_trace.h"
#include "unit/qt/qt_driver.h"
#include "unit/unit.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace server {

// The poll's interval, as the window's.
constexpr int kPollMs = 400;
// How often an absent or hung-up port is opened again.
constexpr int kReopenMs = 2000;

struct RigView {
    int number = 0;
    std::string status; // the CAT back end's words
    std::optional<std::int64_t> hz;
    bool transmitting = false;
    bool outOfRange = false;
    bool operator==(const RigView&) const = default;
};

struct TransferView {
    bool running = false;
    int done = 0; // blocks gone through
    int total = 0;
    std::string block;   // the last block's section
    std::string outcome; // once ended: "done", "failed", ...
    std::string message;
    bool operator==(const TransferView&) const = default;
};

struct StationState {
    enum class Link { Offline, Connecting, Online };
    Link link = Link::Offline;
    int portNumber = 0;
    std::string port; // what the COM number stands for
    // From the latest status reply since the port was opened.
    bool known = false;
    int firmware = 0;
    std::uint16_t khz = 0;
    std::uint8_t direction = 0;
    std::uint16_t flags = 0;
    bool moving = false;
    bool txWarning = false;
    std::vector<RigView> rigs;
    std::vector<std::string> notices;
    TransferView transfer;
    bool operator==(const StationState&) const = default;
};

class Station : public QObject {
public:
    // log: one line for the operator (the server's standard error).
    Station(int portNumber, std::function<void(const std::string&)> log);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Opens the port (or keeps trying every 2 s) and starts the poll.
    void Start();

    const StationState& State() const { return state_; }
    // Called after every change of State().
    void OnChange(std::function<void()> listener) { listeners_.push_back(std::move(listener)); }
    // Called once the unit answers for the first time (the followed rigs
    // start then, as in the window).
    std::function<void()> LinkUp;

    UnitClients& Clients() { return clients_; }
    unit::Unit& Unit() { return unit_; }
    unit::Millis Now() const { return unit_.Now(); }

    // The port is open and its line is there.
    bool PortUp() const;
    // The unit answers the poll.
    bool Connected() const { return connected_; }

    // A unit-protocol client's request; done when its exchange ends.
    void Submit(const UnitRequest& request, unit::ReplyHandler done);
    // An operator's command (2 retract, 3 tune): supersedes every older one.
    void Command(std::uint8_t command, koravel::Bytes argument, unit::ReplyHandler done);

    // A set-up file for the unit. Refused (with the HTTP status and a
    // report) when the unit's port is down, the set-up is held by another
    // writer, the file holds no set-up data, the check finds something or
    // the file was made for the other firmware family (the last two unless
    // force). Else the transfer starts; progress is in State().transfer and
    // done is called at its end.
    struct UploadRefusal {
        int status = 0; // 0: started
        std::string error;
        std::string reason;
        std::vector<std::string> findings;
    };
    UploadRefusal StartUpload(const ini::Profile& file, bool force,
                              std::function<void(const setup::TransferResult&)> done);

    // What --follow tells.
    void SetRigs(std::vector<RigView> rigs);
    void SetTxWarning(bool warning);
    // A notice under a key; empty text takes it away.
    void SetNotice(const std::string& key, const std::string& text);

private:
    void PollTick();
    void KeepPortOpen();
    void PortDown();
    void Answered(const koravel::Bytes& content);
    void Publish();
    bool UnitHeld() const;

    koravel::FrameTrace trace_; // KORAVEL_TRACE
    unit::Unit unit_;
    std::unique_ptr<unit::QtDriver> driver_;
    std::function<void(const std::string&)> log_;
    int portNumber_;
    QTimer pollTimer_;
    QTimer reopenTimer_;
    UnitClients clients_;
    std::unique_ptr<setup::Transfer> transfer_;
    bool connected_ = false;
    bool everConnected_ = false;
    std::int32_t silentTicks_ = 0;
    // Poll requests sent since the latest answer; past kRecentRequests the
    // answer is too old to give to a unit-protocol client.
    std::size_t unansweredPolls_ = 0;
    std::string lastOpenError_;
    std::vector<std::pair<std::string, std::string>> notices_;
    StationState state_;
    StationState published_;
    std::vector<std::function<void()>> listeners_;
};

const char* LinkName(StationState::Link link);

} // namespace server
