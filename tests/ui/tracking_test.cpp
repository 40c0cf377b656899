// Radio tracking with the real window, the CAT back end and Hamlib's rigctld
// (the dummy rig) on loopback, changed by a real rigctl, and the simulated
// unit on a pseudo-terminal.
#include "window_fixture.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "protocol/frame.h"
#include "protocol/status_reply.h"
#include "support/rig_process.h"
#include "support/station_datagrams.h"
#include "ui/colors.h"
#include "ui/elided_label.h"
#include "ui/looks.h"
#include "ui/rig_words.h"
#include "unit/unit.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QTimer>

#include <fstream>

namespace koravel::test {
namespace {

using namespace koravel::colors;
using testing_support::Rigctl;
using testing_support::RigctldProcess;

const QString kConnectError = QStringLiteral("Error connecting to OmniRig - Check installation");

QColor ButtonFace(const QWidget* box) {
    return box->palette().color(QPalette::Button);
}

class TrackingTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (!testing_support::HaveRigctld())
            GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
    }

    void TearDown() override {
        WindowTest::TearDown(); // the window and its client go first
        servers_.clear();
        // The rig threads end by themselves once their client is gone.
        EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000));
    }

    // A dummy rig behind rigctld on a free port, tuned to hz; withPtt: its PTT
    // is keyed by `T 1` and read back.
    RigctldProcess& StartRig(int hz, bool withPtt = false) {
        auto server =
            std::make_unique<RigctldProcess>(testing_support::FreeLoopbackPort(), withPtt);
        EXPECT_NE(server->Port(), 0);
        EXPECT_TRUE(server->Start()) << "rigctld did not start on " << server->Address();
        EXPECT_TRUE(Rigctl(server->Port(), {"F", std::to_string(hz)}));
        servers_.push_back(std::move(server));
        return *servers_.back();
    }

    // omnirig.ini in the test's config folder: rig n at the server, or not
    // configured (model 0) where none is given.
    void WriteOmniRigIni(const RigctldProcess* rig1, const RigctldProcess* rig2 = nullptr) const {
        std::ofstream out(dir_ + "/omnirig.ini");
        out << "[Rig1]\n"
            << (rig1 ? "Model=2\nPort=" + rig1->Address() + "\n" : "Model=0\n") << "[Rig2]\n"
            << (rig2 ? "Model=2\nPort=" + rig2->Address() + "\n" : "Model=0\n");
    }

    // The unit on com1 and the window started on it with the rig selection.
    TfmMain& StartWindow(const std::string& omniRig, bool keepTimers = false) {
        unit_ = &StartSim(1);
        WriteIni("[General]\nSerialport=1\n[OmniRig]\n" + omniRig);
        TfmMain& w = MakeWindow(keepTimers);
        w.show();
        w.FormActivate();
        EXPECT_EQ(w.PortNumber, 1);
        return w;
    }

    // Two answered poll ticks: the second finds the link up.
    void LinkUp(TfmMain& w) {
        TickAndWait(*unit_);
        TickAndWait(*unit_);
        ASSERT_TRUE(w.UnitConnected);
    }

    std::vector<Bytes> Tunes() const { return TuneArguments(*unit_); }

    // Waits until the unit has received a command 3 beyond the first `seen`
    // with this argument.
    bool WaitForTune(const Bytes& argument, std::size_t seen = 0) {
        return WaitFor(
            [&] {
                const std::vector<Bytes> tunes = Tunes();
                for (std::size_t i = seen; i < tunes.size(); ++i) {
                    if (tunes[i] == argument)
                        return true;
                }
                return false;
            },
            20000);
    }

    static void PumpFor(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        WaitFor([&] { return std::chrono::steady_clock::now() > end; }, ms + 1000);
    }

    sim::Simulator* unit_ = nullptr;
    std::vector<std::unique_ptr<RigctldProcess>> servers_;
};

// What the operator sees: the rig chosen in an earlier run is followed from
// start-up on, with no click in the window, through an outage of the server.
TEST_F(TrackingTest, FollowsTheRigFromStartUpWithoutAClick) {
    RigctldProcess& rig = StartRig(7050000);
    WriteOmniRigIni(&rig);
    TfmMain& w = StartWindow("Rig1=1\n", /*keepTimers=*/true);
    // No command has enabled the exchange: tracking must do it itself.
    EXPECT_FALSE(w.unit().ExchangeEnabled());
    ASSERT_TRUE(WaitForTune({0x8A, 0x1B})) << "the rig's frequency did not reach the unit";
    ASSERT_NE(w.OmniRigClient, nullptr);
    EXPECT_TRUE(w.Radio1->isChecked());

    // Truncated to whole kHz, low byte first.
    const std::pair<int, Bytes> changes[] = {
        {14195999, {0x73, 0x37}}, // 14195 kHz
        {999, {0x00, 0x00}},
        {65535999, {0xFF, 0xFF}}, // the top of the unit's range
        {7050000, {0x8A, 0x1B}},
    };
    for (const auto& [hz, argument] : changes) {
        const std::size_t seen = Tunes().size();
        ASSERT_TRUE(Rigctl(rig.Port(), {"F", std::to_string(hz)}));
        EXPECT_TRUE(WaitForTune(argument, seen)) << hz << " Hz";
    }
    EXPECT_EQ(w.RigRange[0].Khz(), 0u);
    // 4 m and 2 m are beyond the unit's 16 bits: nothing is sent (cut, they
    // would tune to 4.464 and 13.228 MHz), and the window knows why.
    std::size_t seen = Tunes().size();
    for (const int hz : {70000000, 144300000}) {
        ASSERT_TRUE(Rigctl(rig.Port(), {"F", std::to_string(hz)}));
        EXPECT_TRUE(WaitFor([&] { return w.RigRange[0].Khz() == std::uint32_t(hz / 1000); }))
            << hz << " Hz";
    }
    // The status bar says so, in red, until the rig comes back.
    EXPECT_TRUE(WaitFor([&] {
        return w.lNotice->fullText().contains(
            QStringLiteral("Radio 1 a 144") + QLocale().decimalPoint() +
            QStringLiteral("300 MHz è oltre la portata dell'antenna"));
    }));
    EXPECT_EQ(TextColorOf(w.lNotice), clAlarmText);
    PumpFor(500);
    EXPECT_EQ(Tunes().size(), seen) << "a frequency beyond the unit's range was sent";
    // Back in range: sent again.
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "7050000"}));
    EXPECT_TRUE(WaitForTune({0x8A, 0x1B}, seen));
    EXPECT_EQ(w.RigRange[0].Khz(), 0u);
    EXPECT_TRUE(
        WaitFor([&] { return !w.lNotice->fullText().contains(QStringLiteral("portata")); }));
    // A mode change alone sends the same frequency again.
    seen = Tunes().size();
    ASSERT_TRUE(Rigctl(rig.Port(), {"M", "USB", "2400"}));
    EXPECT_TRUE(WaitForTune({0x8A, 0x1B}, seen));
    // With no further change the highlight fades.
    EXPECT_TRUE(WaitFor([&] { return BackgroundOf(w.ckOmni1) == clGreen; }));

    // The server goes: olive, and nothing is sent while it is away.
    rig.Stop();
    ASSERT_TRUE(WaitFor([&] { return BackgroundOf(w.ckOmni1) == clOlive; }, 20000));
    seen = Tunes().size();
    PumpFor(1500);
    EXPECT_EQ(Tunes().size(), seen);

    // Back on the same port (a fresh dummy rig at 145 MHz, beyond the unit):
    // followed again, from the first frequency it can take.
    ASSERT_TRUE(rig.Start());
    EXPECT_TRUE(WaitFor([&] { return w.RigRange[0].Khz() == 145000u; }, 20000));
    EXPECT_TRUE(WaitFor([&] { return w.lNotice->fullText().contains(QStringLiteral("145")); }))
        << "the rig's first reading beyond the range is told";
    EXPECT_EQ(Tunes().size(), seen);
    ASSERT_TRUE(Rigctl(rig.Port(), {"F", "7050000"}));
    EXPECT_TRUE(WaitForTune({0x8A, 0x1B}, seen));
    EXPECT_NE(BackgroundOf(w.ckOmni1), clOlive);

    EXPECT_TRUE(prompts_->messages.empty());
}

// Each row of the tracking step, run directly on a connected client.
TEST_F(TrackingTest, TrackingStepFollowsItsTable) {
    RigctldProcess& rig1 = StartRig(14195999);
    RigctldProcess& rig2 = StartRig(7050000);
    WriteOmniRigIni(&rig1, &rig2);
    TfmMain& w = StartWindow("Rig1=1\n");
    LinkUp(w);
    EXPECT_EQ(w.OmniRigClient, nullptr) << "the client is created by the tick after the link";
    TickAndWait(*unit_);
    TOmniRigX* client = w.OmniRigClient;
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(client->Connected());
    ASSERT_TRUE(WaitFor([&] {
        return client->Rig1()->Status() == cat::kStatusOnLine &&
               client->Rig2()->Status() == cat::kStatusOnLine;
    }));
    // The rigs' first readings were notified: rig 1 sent, rig 2 is not followed.
    ASSERT_TRUE(WaitForTune({0x73, 0x37}));
    ASSERT_TRUE(WaitFor([&] { return BackgroundOf(w.ckOmni2) == ButtonFace(w.ckOmni2); }));
    for (const Bytes& tune : Tunes())
        EXPECT_EQ(tune, (Bytes{0x73, 0x37})) << "rig 2 is not followed";

    // Followed, on line, link up: lime, the highlight, and the frequency sent
    // even when no command enabled the exchange before.
    ASSERT_TRUE(WaitFor([&] { return w.unit().Idle(); }));
    unit_->ClearRequests();
    w.unit().SetExchangeEnabled(false);
    SetBackground(w.ckOmni1, clGreen);
    w.RigHighlightTicks = 0;
    ASSERT_GE(AndWait(*unit_,
                      [&] {
                          w.OmniRigParamsChange(client, 1, 0);
                          EXPECT_EQ(BackgroundOf(w.ckOmni1), clLime);
                          EXPECT_EQ(w.RigHighlightTicks, 5);
                      }),
              1u);
    // One exchange: a unit slow to answer may be asked again, the same frame.
    const auto requests = unit_->Requests();
    ASSERT_FALSE(requests.empty());
    const Bytes request = requests[0];
    EXPECT_NE(request[0] & 0x80, 0) << "reply flag";
    EXPECT_EQ(Bytes(request.begin() + 1, request.end() - 1), (Bytes{0x03, 0x73, 0x37}));
    for (const Bytes& again : requests)
        EXPECT_EQ(again, request);

    // The highlight lasts five poll ticks.
    for (int tick = 1; tick <= 5; ++tick) {
        EXPECT_EQ(BackgroundOf(w.ckOmni1), clLime) << "before tick " << tick;
        TickAndWait(*unit_);
    }
    EXPECT_EQ(BackgroundOf(w.ckOmni1), clGreen);
    EXPECT_EQ(w.RigHighlightTicks, 0);

    // Link down: the indicator and the highlight as before, nothing sent.
    w.UnitConnected = false;
    SetBackground(w.ckOmni1, clGreen);
    unit_->ClearRequests();
    std::size_t written = FramesWritten();
    w.OmniRigParamsChange(client, 1, 0);
    EXPECT_EQ(BackgroundOf(w.ckOmni1), clLime);
    EXPECT_EQ(w.RigHighlightTicks, 5);
    EXPECT_EQ(FramesWritten(), written);
    w.UnitConnected = true;

    // Rig 2 while only rig 1 is followed: button face, nothing else.
    SetBackground(w.ckOmni2, clLime);
    w.RigHighlightTicks = 3;
    w.OmniRigParamsChange(client, 2, 1);
    EXPECT_EQ(BackgroundOf(w.ckOmni2), ButtonFace(w.ckOmni2));
    EXPECT_EQ(w.RigHighlightTicks, 3);
    EXPECT_EQ(FramesWritten(), written);

    // Rig numbers other than 1 and 2 change nothing.
    w.OmniRigParamsChange(client, 0, 1);
    w.OmniRigParamsChange(client, 3, 1);
    EXPECT_EQ(BackgroundOf(w.ckOmni1), clLime);
    EXPECT_EQ(w.RigHighlightTicks, 3);
    EXPECT_EQ(FramesWritten(), written);

    // "No Radio" leaves the client connected; the step only shows button face.
    w.NoRadioClick();
    EXPECT_TRUE(client->Connected());
    w.OmniRigParamsChange(client, 1, 1);
    EXPECT_EQ(BackgroundOf(w.ckOmni1), ButtonFace(w.ckOmni1));
    EXPECT_EQ(FramesWritten(), written);

    // "Radio 2" sends nothing by itself; rig 2's next change sends its own
    // frequency.
    w.Radio2Click();
    EXPECT_EQ(FramesWritten(), written);
    ASSERT_TRUE(Rigctl(rig2.Port(), {"F", "21200000"}));
    EXPECT_TRUE(WaitForTune({0xD0, 0x52}));
    ASSERT_TRUE(WaitFor([&] { return w.unit().Idle(); }));
    EXPECT_EQ(BackgroundOf(w.ckOmni2), clLime);
    for (const Bytes& tune : Tunes())
        EXPECT_EQ(tune, (Bytes{0xD0, 0x52})) << "rig 1 is no longer followed";

    // Rig 1 followed again, but its server gone (status 3): olive, the
    // highlight left alone, nothing sent.
    w.Radio1Click();
    rig1.Stop();
    ASSERT_TRUE(
        WaitFor([&] { return client->Rig1()->Status() == cat::kStatusNotResponding; }, 20000));
    SetBackground(w.ckOmni1, clGreen);
    w.RigHighlightTicks = 2;
    written = FramesWritten();
    w.OmniRigParamsChange(client, 1, 1);
    EXPECT_EQ(BackgroundOf(w.ckOmni1), clOlive);
    EXPECT_EQ(w.RigHighlightTicks, 2);
    EXPECT_EQ(FramesWritten(), written);

    // The client is never replaced, and nothing failed loudly.
    for (int tick = 0; tick < 3; ++tick)
        TickAndWait(*unit_);
    EXPECT_EQ(w.OmniRigClient, client);
    EXPECT_TRUE(prompts_->messages.empty());
}

// Rigs 1 and 2 both selected in the settings file are followed each with its
// own frequency.
TEST_F(TrackingTest, BothRigsOfTheSettingsFileAreFollowed) {
    RigctldProcess& rig1 = StartRig(14195999);
    RigctldProcess& rig2 = StartRig(7050000);
    WriteOmniRigIni(&rig1, &rig2);
    TfmMain& w = StartWindow("Rig1=1\nRig2=1\n", /*keepTimers=*/true);
    EXPECT_TRUE(WaitForTune({0x73, 0x37}));
    EXPECT_TRUE(WaitForTune({0x8A, 0x1B}));
    EXPECT_TRUE(w.Radio1->isChecked());
    EXPECT_TRUE(w.Radio2->isChecked());
    const std::size_t seen = Tunes().size();
    ASSERT_TRUE(Rigctl(rig2.Port(), {"F", "21200000"}));
    EXPECT_TRUE(WaitForTune({0xD0, 0x52}, seen));
    ASSERT_TRUE(Rigctl(rig1.Port(), {"F", "28500000"}));
    EXPECT_TRUE(WaitForTune({0x54, 0x6F}, seen));
}

// A rig followed from a logger's broadcasts instead of Hamlib: the window
// follows it, and the status bar says, in the window's words, where it
// listens until the first datagram and for how long the logger has been
// quiet once it stops.
TEST_F(TrackingTest, ARigFollowedFromALoggersBroadcastsAndItsSilence) {
    const std::uint16_t port = testing_support::FreeLoopbackPort();
    std::ofstream(dir_ + "/omnirig.ini")
        << "[Rig1]\nSource=radioinfo\nUdpPort=" << port << "\nNotHeardS=2\n[Rig2]\nModel=0\n";
    TfmMain& w = StartWindow("Rig1=1\nRig2=0\n", /*keepTimers=*/true);
    const QString waiting =
        QStringLiteral("Radio 1: non ancora sentita sulla porta UDP %1").arg(port);
    EXPECT_TRUE(WaitFor([&] { return w.lRigs->text() == waiting; }, 10000))
        << w.lRigs->text().toStdString();

    const testing_support::DatagramSender logger;
    ASSERT_TRUE(logger.Send("127.0.0.1", port, testing_support::RadioInfo(1, "1407400", false)));
    EXPECT_TRUE(WaitForTune({0xFA, 0x36})); // 14074 kHz
    // What the rig settings dialog says the source heard.
    EXPECT_EQ(RigSourceNotes(*w.OmniRigClient, 1),
              QStringLiteral("RadioInfo sulla porta UDP %1: 1 datagramma").arg(port));
    EXPECT_TRUE(WaitFor([&] { return w.lRigs->text().contains(QStringLiteral("14")); }, 5000));

    EXPECT_TRUE(WaitFor(
        [&] { return w.lRigs->text().startsWith(QStringLiteral("Radio 1: non sentita da ")); },
        10000))
        << w.lRigs->text().toStdString();
}

// A server that cannot be set up is reported once in the whole run, however
// many ticks follow; "Config Radio" reports it again in its own words, and a
// later successful connect through it is followed.
TEST_F(TrackingTest, FailingServerIsReportedOnce) {
    {
        std::ofstream out(dir_ + "/omnirig.ini");
        out << "[Rig1]\nModel=999999\n[Rig2]\nModel=0\n";
    }
    TfmMain& w = StartWindow("Rig1=1\n");
    LinkUp(w);
    for (int tick = 0; tick < 12; ++tick) {
        TickAndWait(*unit_);
        PumpFor(0); // the box comes up once the tick has ended
    }
    ASSERT_EQ(prompts_->messages.size(), 1u);
    EXPECT_EQ(prompts_->messages[0].first, QStringLiteral("Koravel Utility"));
    EXPECT_EQ(prompts_->messages[0].second, kConnectError);
    TOmniRigX* client = w.OmniRigClient;
    ASSERT_NE(client, nullptr);
    EXPECT_FALSE(client->Connected());

    w.ConfigRadio1Click();
    ASSERT_EQ(prompts_->messages.size(), 2u);
    EXPECT_EQ(prompts_->messages[1].first, QStringLiteral("Koravel"));
    EXPECT_EQ(prompts_->messages[1].second, client->LastError());
    EXPECT_TRUE(client->LastError().contains(QStringLiteral("999999")));
    EXPECT_EQ(w.OmniRigClient, client);

    // The operator mends omnirig.ini and asks for the dialog again.
    RigctldProcess& rig = StartRig(7050000);
    WriteOmniRigIni(&rig);
    w.ConfigRadio1Click();
    EXPECT_EQ(prompts_->messages.size(), 2u);
    EXPECT_TRUE(client->Connected());
    EXPECT_TRUE(client->DialogVisible());
    EXPECT_TRUE(WaitForTune({0x8A, 0x1B})) << "the rig is followed after the late connect";
}

// The menu's handlers set and clear the marks as the table gives them, and
// never connect, even with the link up and a rig chosen.
TEST_F(TrackingTest, MenuHandlersSetTheMarksAndNeverConnect) {
    TfmMain& w = StartWindow("");
    LinkUp(w);
    struct Row {
        QAction* item;
        bool omni1, omni2, radio1, radio2, noRadio;
    };
    const Row rows[] = {
        {w.Radio1, true, false, true, false, false},
        {w.Radio1, true, false, true, false, false},
        {w.Radio2, false, true, false, true, false},
        {w.NoRadio, false, false, false, false, true},
        {w.NoRadio, false, false, false, false, true},
        {w.Radio2, false, true, false, true, false},
        {w.Radio1, true, false, true, false, false},
    };
    for (const Row& row : rows) {
        const std::string name = row.item->text().toStdString();
        row.item->trigger();
        EXPECT_EQ(w.ckOmni1->isChecked(), row.omni1) << name;
        EXPECT_EQ(w.ckOmni2->isChecked(), row.omni2) << name;
        EXPECT_EQ(w.Radio1->isChecked(), row.radio1) << name;
        EXPECT_EQ(w.Radio2->isChecked(), row.radio2) << name;
        EXPECT_EQ(w.NoRadio->isChecked(), row.noRadio) << name;
        EXPECT_EQ(w.OmniRigClient, nullptr) << name;
    }
    EXPECT_TRUE(Tunes().empty());
}

// "Config Radio" with the link down and no rig followed still connects the
// client and shows the back end's dialog; a second time reuses the client.
TEST_F(TrackingTest, ConfigRadioConnectsWithTheLinkDownAndShowsTheDialog) {
    RigctldProcess& rig = StartRig(7050000);
    WriteOmniRigIni(&rig);
    Unplugged(1);
    TfmMain& w = MakeWindow();
    w.FormActivate();
    ASSERT_FALSE(w.UnitConnected);
    w.ConfigRadio1->trigger();
    TOmniRigX* client = w.OmniRigClient;
    ASSERT_NE(client, nullptr);
    EXPECT_TRUE(client->Connected());
    EXPECT_TRUE(client->DialogVisible());
    EXPECT_EQ(client->parent(), &w);
    w.ConfigRadio1->trigger();
    EXPECT_EQ(w.OmniRigClient, client);
    EXPECT_TRUE(prompts_->messages.empty());
    // Ticks with the link down leave the client as it is.
    w.tmPollTimer();
    EXPECT_EQ(w.OmniRigClient, client);
}

// A unit that answers every request 450 ms late, after the next status
// request went out: the window still connects, shows the unit's frequency
// and follows the rig.
TEST_F(TrackingTest, LateRepliesStillConnectShowAndFollow) {
    RigctldProcess& rig = StartRig(7050000);
    WriteOmniRigIni(&rig);
    sim::UnitConfig config;
    config.startFrequencyKhz = 14200;
    unit_ = &StartSim(1, config);
    sim::Faults late;
    late.delayMs = 450;
    unit_->SetFaults(late);
    WriteIni("[General]\nSerialport=1\n[OmniRig]\nRig1=1\n");
    TfmMain& w = MakeWindow(/*keepTimers=*/true);
    w.show();
    w.FormActivate();

    ASSERT_TRUE(WaitFor([&] { return w.lFreq->text() == "14.200 MHz"; }, 20000))
        << "shows " << w.lFreq->text().toStdString();
    EXPECT_TRUE(w.UnitConnected);
    EXPECT_EQ(w.lStatus->text(), "Connesso con Koravel v1.13");
    ASSERT_TRUE(WaitForTune({0x8A, 0x1B})) << "the rig was not followed";
    EXPECT_TRUE(WaitFor([&] { return w.lFreq->text() == "07.050 MHz"; }, 20000))
        << "shows " << w.lFreq->text().toStdString();
    EXPECT_TRUE(w.UnitConnected);
}

// Transmitting while the elements move: the red label over the band label
// and the red notice stand while both hold, and go when either ends. Keying
// the rig sends nothing to the unit, and nothing is sent to the rig.
TEST_F(TrackingTest, WarnsWhileTheFollowedRigTransmitsAndTheElementsMove) {
    const QString warning = QStringLiteral("IN TRASMISSIONE MENTRE GLI ELEMENTI SI MUOVONO");
    RigctldProcess& rig = StartRig(14200000, /*withPtt=*/true);
    WriteOmniRigIni(&rig);
    TfmMain& w = StartWindow("Rig1=1\n", /*keepTimers=*/true);
    ASSERT_TRUE(WaitForTune({0x78, 0x37}));
    unit_->Modify([](sim::UnitState& s) { s.flags |= kFlagCustom; });
    ASSERT_TRUE(WaitFor([&] { return w.lBanda->text().endsWith(QStringLiteral(" (custom)")); }));
    const QString band = w.lBanda->text();
    auto shown = [&] {
        return w.TxWhileMoving.Warning() && !w.lTxWarning->isHidden() &&
               w.lNotice->fullText().contains(warning);
    };
    auto gone = [&] {
        return !w.TxWhileMoving.Warning() && w.lTxWarning->isHidden() &&
               !w.lNotice->fullText().contains(warning);
    };
    auto setMoving = [&](bool moving) {
        // Set by hand, the motion goes on until it is changed again.
        unit_->Modify([moving](sim::UnitState& s) {
            s.moving = moving;
            s.targetKhz = s.frequencyKhz;
            s.arrival = {};
        });
        ASSERT_TRUE(WaitFor([&] { return w.ElementsMoving == moving; }));
    };

    // Moving, but the rig receives: no warning.
    setMoving(true);
    PumpFor(500);
    EXPECT_TRUE(gone());
    const std::size_t tunes = Tunes().size();

    ASSERT_TRUE(Rigctl(rig.Port(), {"T", "1"}));
    ASSERT_TRUE(WaitFor(shown));
    EXPECT_EQ(w.lTxWarning->text(), warning);
    EXPECT_EQ(BackgroundOf(w.lTxWarning), clRed);
    EXPECT_EQ(TextColorOf(w.lNotice), clAlarmText);
    EXPECT_TRUE(w.lTxWarning->geometry().contains(w.lBanda->geometry()));
    EXPECT_EQ(w.lBanda->text(), band) << "the band label is left as it was";

    // The elements stop while the rig still transmits: the warning goes; they
    // move again: it comes back.
    setMoving(false);
    EXPECT_TRUE(WaitFor(gone));
    setMoving(true);
    EXPECT_TRUE(WaitFor(shown));

    // Back to receive: gone.
    ASSERT_TRUE(Rigctl(rig.Port(), {"T", "0"}));
    EXPECT_TRUE(WaitFor(gone));
    EXPECT_NE(TextColorOf(w.lNotice), clAlarmText);
    EXPECT_EQ(w.lBanda->text(), band);
    EXPECT_EQ(Tunes().size(), tunes) << "keying the rig tuned the unit";
    EXPECT_TRUE(prompts_->messages.empty());
}

// The prompter as a modal box: it records the box and keeps the window's
// events going until the operator would close it.
class ModalBox final : public Prompter {
public:
    std::vector<std::pair<QString, QString>> shown;
    std::function<void()> whileOpen;
    void Message(const QString& title, const QString& text) override {
        shown.emplace_back(title, text);
        if (whileOpen)
            whileOpen();
    }
    bool Ask(const QString&, const QString&) override { return false; }
    bool ChooseFile(QFileDialog&) override { return false; }
};

// Counts the starts of a timer's events: the filter sees each before the
// timer's handlers run.
class StartCounter : public QObject {
public:
    explicit StartCounter(QObject* timer) { timer->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer)
            ++starts;
        return false;
    }
    int starts = 0;
};

// The connection error of the tracking client comes up from a poll tick; the
// box is shown once the tick has returned, and the poll runs while it is open.
TEST_F(TrackingTest, ConnectionErrorBoxLeavesThePollRunning) {
    {
        std::ofstream out(dir_ + "/omnirig.ini");
        out << "[Rig1]\nModel=999999\n[Rig2]\nModel=0\n";
    }
    TfmMain& w = StartWindow("Rig1=1\n", /*keepTimers=*/true);
    auto box = std::make_unique<ModalBox>();
    ModalBox& modal = *box;
    w.SetPrompter(std::move(box));
    StartCounter started(w.tmPoll);
    int ended = 0;
    QObject::connect(w.tmPoll, &QTimer::timeout, [&ended] { ++ended; });
    bool insideTick = false;
    int ticksWhileOpen = -1;
    modal.whileOpen = [&] {
        insideTick = started.starts != ended;
        const int before = ended;
        QEventLoop open;
        QTimer::singleShot(1600, &open, &QEventLoop::quit);
        open.exec();
        ticksWhileOpen = ended - before;
    };
    ASSERT_TRUE(WaitFor([&] { return ticksWhileOpen >= 0; }, 20000)) << "no box came";
    EXPECT_FALSE(insideTick) << "the box was raised inside the poll tick";
    EXPECT_GE(ticksWhileOpen, 3) << "the poll stood still while the box was open";
    ASSERT_EQ(modal.shown.size(), 1u);
    EXPECT_EQ(modal.shown[0].first, QStringLiteral("Koravel Utility"));
    EXPECT_EQ(modal.shown[0].second, kConnectError);
}

} // namespace
} // namespace koravel::test
