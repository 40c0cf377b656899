// Two units in one process, each on a simulated unit of its own (an antenna
// per radio), under one Qt event loop: a set-up file goes into one while the
// other is polled every 400 ms, commanded, and follows a rig through the CAT
// back end and rigctld. Each wire carries only its own frames.
#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "cat_test_support.h"
#include "follow/follow_rule.h"
#include "protocol/commands.h"
#include "setup/transfer.h"
#include "sim/simulator.h"
#include "station/com_port.h"
#include "support/pty_port.h"
#include "support/setup_image.h"
#include "unit/qt/qt_driver.h"
#include "unit/unit.h"

#include <QString>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>

namespace {

using koravel::Bytes;

std::unique_ptr<sim::Simulator> StartSim(const std::string& configDir, int port, bool pace) {
    sim::Options options;
    options.port = port;
    options.configDir = configDir;
    options.pace = pace;
    auto simulator = std::make_unique<sim::Simulator>(options);
    std::string error;
    EXPECT_TRUE(simulator->Start(error)) << error;
    return simulator;
}

// The commands a unit received, each once.
std::set<int> Commands(const sim::Simulator& unit) {
    std::set<int> commands;
    for (const Bytes& request : unit.Requests())
        commands.insert(request.size() > 1 ? request[1] : -1);
    return commands;
}

bool SawTune(const sim::Simulator& unit, std::uint32_t khz) {
    const Bytes argument = koravel::TuneArgument(khz);
    for (const Bytes& request : unit.Requests()) {
        if (request.size() == 5 && request[1] == koravel::kCommandTune &&
            Bytes(request.begin() + 2, request.end() - 1) == argument)
            return true;
    }
    return false;
}

} // namespace

TEST(TwoUnits, ATransferOnOneWhileTheOtherIsPolledCommandedAndFollowsARig) {
    if (!cattest::HaveRigctld())
        GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
    testing_support::TempConfigDir config;
    // The first at the line's real pace, so that its transfer lasts a while.
    auto simA = StartSim(config.path(), 1, true);
    auto simB = StartSim(config.path(), 2, false);

    unit::Unit a;
    unit::Unit b;
    unit::QtDriver driveA(a);
    unit::QtDriver driveB(b);
    ASSERT_EQ(koravel::OpenComPort(a.Port(), 1), 0);
    ASSERT_EQ(koravel::OpenComPort(b.Port(), 2), 0);

    // The second unit's poll, as the window runs it.
    int answered = 0;
    int answeredDuringTransfer = 0;
    setup::Transfer transfer(a);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (b.CollectPollAnswers().answered) {
            ++answered;
            if (transfer.Running())
                ++answeredDuringTransfer;
        }
        b.SendRequest(koravel::kCommandStatus, {});
    });
    poll.start(400);

    // The rig that the second unit follows.
    const quint16 rigPort = cattest::FreePort();
    cattest::Rigctld rig(rigPort);
    ASSERT_TRUE(rig.Start());
    cattest::WriteIni(
        QString::fromStdString(config.path()),
        QStringLiteral("[Rig1]\nModel=2\nPort=%1\n[Rig2]\nModel=0\n").arg(rig.Address()));
    TOmniRigX client(nullptr, QString::fromStdString(config.path()));
    client.OnParamsChange = [&](TOmniRigX*, int rigNumber, int params) {
        if (rigNumber != 1 || !follow::RetuneOn(params, cat::kParamTx))
            return;
        const follow::Step step = follow::StepFor(client.Rig1()->Freq());
        if (step.verdict == follow::Step::Verdict::Send)
            b.SendCommand(koravel::kCommandTune, koravel::TuneArgument(step.khz));
    };
    ASSERT_TRUE(client.Connect()) << client.LastError().toStdString();

    std::optional<setup::TransferResult> ended;
    const std::string file = testing_support::SetupDataFile("kv100-fw113.koravel");
    transfer.SendFile(file, {}, [&ended](const setup::TransferResult& r) { ended = r; });
    ASSERT_TRUE(transfer.Running());

    // Meanwhile the second unit is commanded and follows the rig.
    b.SendCommand(koravel::kCommandTune, koravel::TuneArgument(14200));
    ASSERT_TRUE(cattest::Rigctl(rigPort, {"F", "7074000"}));
    EXPECT_TRUE(cattest::WaitUntil([&] { return SawTune(*simB, 14200) && SawTune(*simB, 7074); }));

    ASSERT_TRUE(cattest::WaitUntil([&] { return ended.has_value(); }, 60000));
    ASSERT_TRUE(ended->ok()) << ended->message;
    EXPECT_GT(answeredDuringTransfer, 0) << "the second unit's poll stood still";
    EXPECT_GT(answered, 0);

    // Each wire carried its own frames only.
    EXPECT_EQ(simA->Eeprom(), testing_support::ExpectedImage(file, 269, nullptr));
    EXPECT_EQ(Commands(*simA),
              (std::set<int>{koravel::kCommandStatus, koravel::kCommandWriteBlock}));
    EXPECT_EQ(simA->RequestCount(koravel::kCommandStatus), 1u);
    EXPECT_EQ(simA->RequestCount(koravel::kCommandWriteBlock), 68u);
    EXPECT_EQ(Commands(*simB), (std::set<int>{koravel::kCommandStatus, koravel::kCommandTune}));
    EXPECT_TRUE(simB->Eeprom().empty());

    poll.stop();
    client.OnParamsChange = nullptr;
}

// The rig threads end after the test's client is gone.
TEST(TwoUnits, RigWorkersEnd) {
    EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000));
}
