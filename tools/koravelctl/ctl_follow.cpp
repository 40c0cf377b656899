#include "ctl_follow.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "ctl_follow_output.h"
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
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ctl {

namespace {

// Time the rig threads get to end after the client is gone.
constexpr int kWorkersEndMs = 2000;
// How often a network port's connection is looked after between sends.
constexpr int kUpkeepMs = 400;

// Sends the followed rig's frequency by the follow rule. Its lines come out
// in the order of the rig's changes: a send's result waits for the results
// of the sends before it, so the last line names the frequency the unit was
// given last.
class Follower {
public:
    Follower(unit::Unit& unit, const FollowOutput& out) : unit_(unit), out_(out) {}

    // Frequency sends waiting for their answers.
    int SendsUnderWay() const { return sendsUnderWay_; }

    // Sends the rig's current frequency when the rig is on line and the
    // unit can be tuned to it.
    void Send(IRigX& rig) {
        if (rig.Status() != follow::kRigOnLine)
            return;
        const std::optional<std::int64_t> hz = rig.FreqHz();
        if (!hz)
            return; // no frequency (none read, or the source says 0): nothing sent
        const int n = rig.RigNumber();
        const follow::Step step = follow::StepFor(hz);
        if (range_.Update(step))
            Emit(Add(), [this, n, hz = *hz] { out_.OutOfRange(n, hz); });
        if (step.verdict != follow::Step::Verdict::Send)
            return;
        ++sendsUnderWay_;
        const std::uint64_t line = Add();
        unit_.SendCommand(koravel::kCommandTune, koravel::TuneArgument(step.khz),
                          [this, line, n, hz = *hz, khz = step.khz](const unit::Reply& reply) {
                              --sendsUnderWay_;
                              Emit(line,
                                   [this, n, hz, khz, reply] { out_.Tuned(n, hz, khz, reply); });
                          });
    }

private:
    // A place for a line, in order.
    std::uint64_t Add() {
        lines_.emplace_back();
        return firstLine_ + lines_.size() - 1;
    }
    // Fills a line's place and prints every line whose turn has come.
    void Emit(std::uint64_t line, std::function<void()> print) {
        lines_[line - firstLine_] = std::move(print);
        while (!lines_.empty() && lines_.front()) {
            lines_.front()();
            lines_.pop_front();
            ++firstLine_;
        }
    }

    unit::Unit& unit_;
    const FollowOutput& out_;
    follow::RangeWatch range_;
    int sendsUnderWay_ = 0;
    std::deque<std::function<void()>> lines_;
    std::uint64_t firstLine_ = 0;
};

// What the rig is followed from, for the first line.
std::string SourceText(const cat::RigSettings& rig, int rigNumber) {
    if (rig.source == cat::RigSource::Hamlib)
        return "Hamlib model " + std::to_string(rig.model) +
               (rig.port.isEmpty() ? std::string() : " on " + rig.port.toStdString());
    std::string text = std::string(cat::SourceWord(rig.source)) + " on UDP port " +
                       std::to_string(cat::UdpPortOf(rig));
    if (rig.source == cat::RigSource::RadioInfo)
        text += cat::RadioOf(rig, rigNumber) == cat::kFocusRadio
                    ? ", the radio with transmit focus"
                    : ", radio " + std::to_string(cat::RadioOf(rig, rigNumber));
    if (!rig.multicast.isEmpty())
        text += ", group " + rig.multicast.toStdString();
    if (!rig.instance.isEmpty())
        text += ", instance " + rig.instance.toStdString();
    return text;
}

} // namespace

bool CheckFollowSource(const std::string& source) {
    cat::RigSettings scratch;
    QString error;
    if (cat::ApplySourceSpec(QString::fromStdString(source), scratch, &error))
        return true;
    std::fprintf(stderr, "koravelctl: --source: %s\n", error.toLocal8Bit().constData());
    return false;
}

int RunFollow(Link& link, const FollowOptions& options, int& argc, char** argv) {
    const int rigNumber = options.rigNumber;
    const FollowOutput out(options.json);
    // Before the back end: its Hamlib set-up fixes the numeric locale once,
    // and the application object must not change it afterwards.
    QCoreApplication app(argc, argv);
    unit::QtDriver driver(link.unit);
    QSocketNotifier interrupt(InterruptFd(), QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    auto client =
        std::make_unique<TOmniRigX>(nullptr, QString::fromStdString(koravel::ConfigDir()));
    if (!options.source.empty()) {
        // omnirig.ini's other settings of the rig stay; only its source changes.
        cat::OmniRigSettings stored;
        QString error;
        if (!cat::LoadOmniRigIni(client->ConfigDir(), stored, &error)) {
            std::fprintf(stderr, "koravelctl: %s\n", error.toLocal8Bit().constData());
            return kExitUsage;
        }
        cat::RigSettings rig = stored[rigNumber - 1];
        rig.enabled = true;
        if (!cat::ApplySourceSpec(QString::fromStdString(options.source), rig, &error)) {
            std::fprintf(stderr, "koravelctl: --source: %s\n", error.toLocal8Bit().constData());
            return kExitUsage;
        }
        client->OverrideRig(rigNumber, rig);
    }
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

    client->OnStatusChange = [rig, &out](TOmniRigX*, int n) {
        if (n == rig->RigNumber())
            out.RigStatus(n, rig->Status(), rig->StatusStr().toStdString());
    };
    Follower follower(link.unit, out);
    TxWarningWatch txWarning(
        link.unit, *rig, [&follower] { return follower.SendsUnderWay() > 0; },
        [&out](follow::TxWarning::Change change) { out.TxWarning(change); });
    client->OnParamsChange = [rig, &follower, &txWarning](TOmniRigX*, int n, int params) {
        if (n != rig->RigNumber() || Interrupted())
            return;
        if (follow::RetuneOn(params, cat::kParamTx))
            follower.Send(*rig);
        txWarning.RigChanged();
    };
    out.Following(rigNumber, SourceText(client->Settings()[rigNumber - 1], rigNumber),
                  cat::OmniRigIniPath(client->ConfigDir()).toStdString());

    // A network port's drop and return are told as they happen.
    ConnectionReport connection(link.unit, link.portNumber);
    QTimer upkeep;
    QObject::connect(&upkeep, &QTimer::timeout, [&connection, &out] {
        connection.Check(
            [&out](bool connected, const std::string& text) { out.Connection(connected, text); });
    });
    upkeep.start(kUpkeepMs);

    if (!Interrupted())
        app.exec();
    client.reset();
    TOmniRigX::WaitForWorkers(kWorkersEndMs);
    return kExitOk;
}

} // namespace ctl
