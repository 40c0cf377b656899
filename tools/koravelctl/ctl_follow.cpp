#include "ctl_follow.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "ctl_follow_warning.h"
#include "ctl_link.h"
#include "station/config_dir.h"
#include "unit/exchange.h"
#include "protocol/status_reply.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace ctl {

namespace {

// Time the rig threads get to end after the client is gone.
constexpr int kWorkersEndMs = 2000;
// How often a network port's connection is looked after between sends.
constexpr int kUpkeepMs = 400;

// Frequency sends waiting for their answers (a newer one may start inside an
// older one's wait).
int sendsUnderWay = 0;

std::string ResultText(const exchange::CommandResult& result) {
    if (result.status == 0)
        return "done";
    if (result.superseded)
        return "superseded by a newer frequency";
    if (result.status == exchange::kNoReply)
        return "no reply";
    return "refused (status " + std::to_string(result.status) + ")";
}

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Sends the rig's current frequency when the rig is on line and the unit can
// be tuned to it. outOfRange: whether the rig was beyond the unit's range at
// its last reading, so that going out of range is told once.
void SendFrequency(IRigX& rig, bool& outOfRange) {
    if (rig.Status() != cat::kStatusOnLine)
        return;
    const std::optional<std::int32_t> hz = rig.Freq();
    if (!hz)
        return; // went off line since: its status change is reported
    const std::string rigText = "rig " + std::to_string(rig.RigNumber()) + ": ";
    const std::int64_t khz = *hz / 1000;
    if (khz < 0 || khz > koravel::kMaxUnitKhz) {
        // Cut to 16 bits it would tune to a frequency nobody chose.
        if (!outOfRange)
            PrintLine(rigText + std::to_string(*hz) + " Hz: out of the antenna's range (up to " +
                      std::to_string(koravel::kMaxUnitKhz) + " kHz), not sent");
        outOfRange = true;
        return;
    }
    outOfRange = false;
    ++sendsUnderWay;
    const exchange::CommandResult result = exchange::SendCommand(
        koravel::kCommandTune, koravel::TuneArgument(static_cast<std::uint32_t>(khz)));
    --sendsUnderWay;
    PrintLine(rigText + std::to_string(*hz) + " Hz -> " + std::to_string(khz) +
              " kHz: " + ResultText(result));
}

} // namespace

int RunFollow(int rigNumber, int& argc, char** argv) {
    // Before the back end: its Hamlib set-up fixes the numeric locale once,
    // and the application object must not change it afterwards.
    QCoreApplication app(argc, argv);
    InstallClockHooks([] { QCoreApplication::processEvents(); });
    InstallInterruptHandler();
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
    TxWarningWatch txWarning(
        *rig, [] { return sendsUnderWay > 0; }, PrintLine);
    bool outOfRange = false;
    client->OnParamsChange = [rig, &outOfRange, &txWarning](TOmniRigX*, int n, int params) {
        if (n != rig->RigNumber() || Interrupted())
            return;
        // Keying the rig is no reason to tune, and the worst moment for it.
        if (params != cat::kParamTx)
            SendFrequency(*rig, outOfRange);
        txWarning.RigChanged();
    };
    PrintLine("following rig " + std::to_string(rigNumber) + " (" +
              cat::OmniRigIniPath(client->ConfigDir()).toStdString() + "); Ctrl-C ends");

    // Between sends nothing reads the port: a network port's drop is
    // noticed, and its reconnection made, here.
    QTimer upkeep;
    QObject::connect(&upkeep, &QTimer::timeout, [] { ReportConnection(PrintLine); });
    upkeep.start(kUpkeepMs);

    if (!Interrupted())
        app.exec();
    client.reset();
    TOmniRigX::WaitForWorkers(kWorkersEndMs);
    return kExitOk;
}

} // namespace ctl
