#include "ctl_follow.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "ctl_follow_warning.h"
#include "follow/follow_rule.h"
#include "protocol/commands.h"
#include "station/config_dir.h"
#include "unit/qt/qt_driver.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace ctl {

namespace {

// Time the rig threads get to end after the client is gone.
constexpr int kWorkersEndMs = 2000;
// How often a network port's connection is looked after between sends.
constexpr int kUpkeepMs = 400;

std::string ResultText(const unit::Reply& result) {
    if (result.status == 0)
        return "done";
    if (result.superseded)
        return "superseded by a newer frequency";
    if (result.status == unit::kNoReply)
        return "no reply";
    return "refused (status " + std::to_string(result.status) + ")";
}

// Sends the followed rig's frequency by the follow rule. Its lines come out
// in the order of the rig's changes: a send's result waits for the results
// of the sends before it, so the last line names the frequency the unit was
// given last.
class Follower {
public:
    explicit Follower(unit::Unit& unit) : unit_(unit) {}

    // Frequency sends waiting for their answers.
    int SendsUnderWay() const { return sendsUnderWay_; }

    // Sends the rig's current frequency when the rig is on line and the
    // unit can be tuned to it.
    void Send(IRigX& rig) {
        if (rig.Status() != follow::kRigOnLine)
            return;
        const std::optional<std::int64_t> hz = rig.FreqHz();
        if (!hz)
            return; // went off line since: its status change is reported
        const std::string rigText = "rig " + std::to_string(rig.RigNumber()) + ": ";
        const follow::Step step = follow::StepFor(hz);
        if (range_.Update(step))
            Print(Add(), rigText + std::to_string(*hz) + " Hz: out of the antenna's range (up to " +
                             std::to_string(koravel::kMaxUnitKhz) + " kHz), not sent");
        if (step.verdict != follow::Step::Verdict::Send)
            return;
        ++sendsUnderWay_;
        const std::uint64_t line = Add();
        unit_.SendCommand(
            koravel::kCommandTune, koravel::TuneArgument(step.khz),
            [this, line, rigText, hz = *hz, khz = step.khz](const unit::Reply& reply) {
                --sendsUnderWay_;
                Print(line, rigText + std::to_string(hz) + " Hz -> " + std::to_string(khz) +
                                " kHz: " + ResultText(reply));
            });
    }

private:
    // A place for a line, in order.
    std::uint64_t Add() {
        lines_.emplace_back();
        return firstLine_ + lines_.size() - 1;
    }
    // Fills a line's place and prints every line whose turn has come.
    void Print(std::uint64_t line, std::string text) {
        lines_[line - firstLine_] = std::move(text);
        while (!lines_.empty() && lines_.front()) {
            PrintLine(*lines_.front());
            lines_.pop_front();
            ++firstLine_;
        }
    }

    unit::Unit& unit_;
    follow::RangeWatch range_;
    int sendsUnderWay_ = 0;
    std::deque<std::optional<std::string>> lines_;
    std::uint64_t firstLine_ = 0;
};

} // namespace

int RunFollow(Link& link, int rigNumber, int& argc, char** argv) {
    // Before the back end: its Hamlib set-up fixes the numeric locale once,
    // and the application object must not change it afterwards.
    QCoreApplication app(argc, argv);
    unit::QtDriver driver(link.unit);
    QSocketNotifier interrupt(InterruptFd(), QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    auto client =
        std::make_unique<TOmniRigX>(nullptr, QString::fromStdString(koravel::ConfigDir()));
    if (!client->Connect()) {
        std::fprintf(stderr, "koravelctl: the CAT back end does not connect: %s\n",
                     client->LastError().toLocal8Bit().constData());
        return kExitUsage;
    }
    IRigX* rig = rigNumber == 1 ? client->Rig1() : client->Rig2();
    const int status = rig->Status();
    if (status == cat::kStatusNotConfigured || status == cat::kStatusDisabled) {
        std::fprintf(stderr, "koravelctl: rig %d: %s in %s\n", rigNumber,
                     rig->StatusStr().toLocal8Bit().constData(),
                     cat::OmniRigIniPath(client->ConfigDir()).toLocal8Bit().constData());
        return kExitUsage;
    }

    client->OnStatusChange = [rig](TOmniRigX*, int n) {
        if (n == rig->RigNumber())
            PrintLine("rig " + std::to_string(n) + ": " + rig->StatusStr().toStdString());
    };
    Follower follower(link.unit);
    TxWarningWatch txWarning(
        link.unit, *rig, [&follower] { return follower.SendsUnderWay() > 0; }, PrintLine);
    client->OnParamsChange = [rig, &follower, &txWarning](TOmniRigX*, int n, int params) {
        if (n != rig->RigNumber() || Interrupted())
            return;
        if (follow::RetuneOn(params, cat::kParamTx))
            follower.Send(*rig);
        txWarning.RigChanged();
    };
    PrintLine("following rig " + std::to_string(rigNumber) + " (" +
              cat::OmniRigIniPath(client->ConfigDir()).toStdString() + "); Ctrl-C ends");

    // A network port's drop and return are told as they happen.
    ConnectionReport connection(link.unit, link.portNumber);
    QTimer upkeep;
    QObject::connect(&upkeep, &QTimer::timeout, [&connection] { connection.Check(PrintLine); });
    upkeep.start(kUpkeepMs);

    if (!Interrupted())
        app.exec();
    client.reset();
    TOmniRigX::WaitForWorkers(kWorkersEndMs);
    return kExitOk;
}

} // namespace ctl
