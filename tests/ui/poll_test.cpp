// The status poll against a simulated unit: the link state, the decoding of
// status replies into the front panel, and the 50 ms tick's lamps and blink.
#include "window_fixture.h"

#include "ui/elided_label.h"

#include "protocol/bands.h"
#include "protocol/status_reply.h"
#include "ui/colors.h"
#include "ui/looks.h"
#include "ui/shape.h"
#include "unit/unit.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <fstream>
#include <mutex>

namespace koravel::test {
namespace {

using namespace koravel::colors;

class PollTest : public WindowTest {
protected:
    enum class Mode { Unit, Silent, Fixed };

    // The unit on com1 and the window started on it. Requests are answered
    // by the unit, not at all, or with the fixed reply of Answer(), as mode_
    // says when the request arrives.
    TfmMain& Connect(const sim::UnitConfig& config = {}) {
        unit_ = &StartSim(1, config);
        unit_->SetResponder([this](const Bytes& request) -> std::optional<Bytes> {
            std::optional<Bytes> wire;
            if (mode_ == Mode::Silent) {
                wire = Bytes{};
            } else if (mode_ == Mode::Fixed) {
                std::lock_guard<std::mutex> lock(mutex_);
                StatusReply answer = reply_;
                answer.sequence = request.at(0);
                wire = ReplyFrame(EncodeStatusBody(answer));
            }
            ++calls_;
            return wire;
        });
        TfmMain& w = MakeWindow();
        w.FormActivate();
        EXPECT_EQ(w.PortNumber, 1);
        return w;
    }

    void Answer(const StatusReply& reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = reply;
        mode_ = Mode::Fixed;
    }

    // One poll tick, then the wait until its request has been dealt with;
    // an answer waits at the port for the next tick.
    void Tick(TfmMain& w, bool answered) {
        const int before = calls_;
        w.tmPollTimer();
        ASSERT_TRUE(WaitQuietly([&] { return calls_ > before; })) << "the unit saw no request";
        if (answered) {
            ASSERT_TRUE(WaitQuietly([&] { return w.unit().Port().InputCount() >= 15; }))
                << "no reply";
        }
    }

    // Two answered ticks: the second decodes the answer to the first.
    void Round(TfmMain& w) {
        Tick(w, true);
        Tick(w, true);
    }

    sim::Simulator* unit_ = nullptr;
    std::atomic<Mode> mode_{Mode::Unit};
    std::atomic<int> calls_{0};
    std::mutex mutex_;
    StatusReply reply_;
};

// With KORAVEL_TRACE set, the frames are traced both ways.
TEST_F(PollTest, FirstTickShowsTheRetractPanelUntilAFrequencyIsReported) {
    sim::UnitConfig config;
    config.startFrequencyKhz = 14200;
    const std::string trace = dir_ + "/trace.txt";
    setenv("KORAVEL_TRACE", trace.c_str(), 1);
    TfmMain& w = Connect(config);
    unsetenv("KORAVEL_TRACE");
    ASSERT_TRUE(w.Retract_Panel->isHidden());

    TickAndWait(*unit_);
    EXPECT_FALSE(w.Retract_Panel->isHidden());
    EXPECT_EQ(w.Message1->text(), "ELEMENTS");
    EXPECT_EQ(w.Message2->text(), "RETRACTED");
    // What the operator sees claims nothing the unit has not said.
    EXPECT_TRUE(w.lRetracted->isHidden());

    // This tick decodes 14200 after its retract step: the panel stays once more.
    TickAndWait(*unit_);
    EXPECT_EQ(w.ReportedFrequency, 14200);
    EXPECT_FALSE(w.Retract_Panel->isHidden());
    TickAndWait(*unit_);
    EXPECT_TRUE(w.Retract_Panel->isHidden());
    EXPECT_TRUE(w.lRetracted->isHidden());

    // Retracted, as the unit reports it: over the read-out, and in the bar.
    unit_->Modify([](sim::UnitState& s) { s.frequencyKhz = 0; });
    TickAndWait(*unit_);
    TickAndWait(*unit_);
    EXPECT_FALSE(w.lRetracted->isHidden());
    EXPECT_EQ(w.lRetracted->geometry(), w.lFreq->geometry());
    EXPECT_EQ(w.lRetracted->text(), "ELEMENTS RETRACTED");
    EXPECT_NE(w.lNotice->fullText().indexOf("ELEMENTS RETRACTED"), -1);

    std::ifstream in(trace);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "tx 0D0159");
    EXPECT_EQ(second.substr(0, 5), "rx 0D");
}

TEST_F(PollTest, StatusReplyIsDecodedIntoTheDisplay) {
    TfmMain& w = Connect();
    StatusReply r;
    r.fwMajor = 1;
    r.fwMinor = 13;
    r.freqKhz = 65535;
    r.direction = 1;
    r.flags = 0x0002;
    Answer(r);
    Round(w);

    EXPECT_TRUE(w.UnitConnected);
    EXPECT_TRUE(w.btImposta->isEnabled());
    EXPECT_TRUE(w.btRetract->isEnabled());
    EXPECT_EQ(w.FirmwareVersion, 269);
    EXPECT_EQ(w.lStatus->text(), "Connesso con Koravel v1.13");
    EXPECT_EQ(w.ReportedFrequency, 65535);
    EXPECT_EQ(w.lFreq->text(), "65.535 MHz");
    EXPECT_EQ(w.lBanda->text(), "");
    EXPECT_EQ(TextColorOf(w.lBidir), clSilver);
    EXPECT_EQ(w.ldBidir->brushColor(), clSilver);
    EXPECT_EQ(w.ld180->brushColor(), clLime);
    EXPECT_EQ(BackgroundOf(w.Panel1), clBlack);
    EXPECT_FALSE(w.ElementsMoving);

    r.fwMinor = 5;
    r.freqKhz = 7050;
    r.direction = 2;
    r.flags = 0;
    r.moving = 1;
    Answer(r);
    Round(w);
    EXPECT_EQ(w.lStatus->text(), "Connesso con Koravel v1.5");
    EXPECT_EQ(w.FirmwareVersion, 261);
    EXPECT_EQ(w.lFreq->text(), "07.050 MHz");
    EXPECT_EQ(w.lBanda->text(), "40 meters");
    EXPECT_EQ(TextColorOf(w.lBidir), clWhite);
    EXPECT_EQ(w.ldBidir->brushColor(), clRed);
    EXPECT_EQ(w.ld180->brushColor(), clGreen);
    EXPECT_EQ(BackgroundOf(w.Panel1), clBlue);
    EXPECT_TRUE(w.ElementsMoving);

    r.freqKhz = 0;
    r.direction = 0;
    r.moving = 0;
    Answer(r);
    Round(w);
    EXPECT_EQ(w.lFreq->text(), "00.000 MHz");
    EXPECT_EQ(TextColorOf(w.lBidir), clGray);
    EXPECT_EQ(w.ldBidir->brushColor(), clMaroon);
    EXPECT_EQ(w.ld180->brushColor(), clGreen);

    // An unknown direction leaves the lamps as they were.
    r.freqKhz = 50100;
    r.direction = 3;
    Answer(r);
    Round(w);
    EXPECT_EQ(w.lFreq->text(), "50.100 MHz");
    EXPECT_EQ(w.lBanda->text(), "6 meter");
    EXPECT_EQ(TextColorOf(w.lBidir), clGray);
    EXPECT_EQ(w.ldBidir->brushColor(), clMaroon);
    EXPECT_EQ(w.ld180->brushColor(), clGreen);
}

TEST_F(PollTest, CustomMarkerIsAppendedOnceAndStays) {
    TfmMain& w = Connect();
    StatusReply r;
    r.freqKhz = 14200;
    r.flags = kFlagCustom;
    Answer(r);
    Round(w);
    EXPECT_EQ(w.lBanda->text(), "20 meters (custom)");
    Round(w);
    EXPECT_EQ(w.lBanda->text(), "20 meters (custom)");

    // Nothing removes the marker; the band name follows the frequency.
    r.freqKhz = 28500;
    r.flags = 0;
    Answer(r);
    Round(w);
    EXPECT_EQ(w.lBanda->text(), "10 meters (custom)");
}

TEST_F(PollTest, LinkSurvivesThirtyEightSilentTicksAndDropsOnTheThirtyNinth) {
    TfmMain& w = Connect();
    // Not connected: silent ticks do not count.
    mode_ = Mode::Silent;
    for (int i = 0; i < 3; ++i)
        Tick(w, false);
    EXPECT_FALSE(w.UnitConnected);
    EXPECT_EQ(w.SilentTicks, 0);

    // The first matching reply connects at once.
    mode_ = Mode::Unit;
    Tick(w, true);
    mode_ = Mode::Silent;
    Tick(w, false);
    ASSERT_TRUE(w.UnitConnected);
    EXPECT_TRUE(w.btImposta->isEnabled());
    EXPECT_TRUE(w.btRetract->isEnabled());
    EXPECT_EQ(w.SilentTicks, 0);

    for (int i = 1; i <= 37; ++i)
        Tick(w, false);
    EXPECT_EQ(w.SilentTicks, 37);
    mode_ = Mode::Unit;
    Tick(w, true); // silent tick 38, whose own request is answered
    EXPECT_EQ(w.SilentTicks, 38);
    EXPECT_TRUE(w.UnitConnected);
    mode_ = Mode::Silent;
    Tick(w, false);
    EXPECT_EQ(w.SilentTicks, 0);
    EXPECT_TRUE(w.UnitConnected);

    for (int i = 1; i <= 38; ++i)
        Tick(w, false);
    EXPECT_TRUE(w.UnitConnected);
    EXPECT_TRUE(w.btRetract->isEnabled());
    EXPECT_TRUE(w.lStatus->text().startsWith("Connesso con Koravel v"));
    w.ElementsMoving = true; // as the last reply said
    w.tmTimerTimer();
    ASSERT_FALSE(w.Label13->isHidden());
    Tick(w, false); // the 39th
    EXPECT_FALSE(w.UnitConnected);
    EXPECT_EQ(w.lStatus->text(), "Stato: in connessione...");
    EXPECT_FALSE(w.btImposta->isEnabled());
    EXPECT_FALSE(w.btRetract->isEnabled());
    // Nothing is known to be moving any more: the blink stops.
    EXPECT_FALSE(w.ElementsMoving);
    w.tmTimerTimer();
    EXPECT_TRUE(w.Label13->isHidden());
    Tick(w, false);
    EXPECT_EQ(w.SilentTicks, 39); // counts only while connected

    // A frame that an operator command's exchange receives also restarts the count.
    mode_ = Mode::Unit;
    EXPECT_GE(AndWait(*unit_, [&] { w.Image14Click(); }), 1u);
    EXPECT_EQ(w.SilentTicks, 0);
}

TEST_F(PollTest, FrameWithAnotherSequenceByteChangesNothing) {
    TfmMain& w = Connect();
    mode_ = Mode::Silent;
    Tick(w, false);

    StatusReply stray;
    stray.fwMajor = 2;
    stray.freqKhz = 14200;
    const auto sendStray = [&](std::uint8_t sequence) {
        stray.sequence = sequence;
        unit_->SendRaw(ReplyFrame(EncodeStatusBody(stray)));
        ASSERT_TRUE(WaitQuietly([&] { return w.unit().Port().InputCount() >= 15; }));
    };

    // While not connected: a frame that answers nothing does not connect.
    sendStray(static_cast<std::uint8_t>(w.unit().LastSentSequence() + 1));
    Tick(w, false);
    EXPECT_FALSE(w.UnitConnected);
    EXPECT_EQ(w.lFreq->text(), "00.000 MHz");
    EXPECT_FALSE(w.btRetract->isEnabled());
    EXPECT_EQ(w.unit().Port().InputCount(), 0); // the stray frame was read

    // Connected, with silent ticks counted: they are neither reset nor counted.
    mode_ = Mode::Unit;
    Tick(w, true);
    mode_ = Mode::Silent;
    Tick(w, false);
    ASSERT_TRUE(w.UnitConnected);
    Tick(w, false);
    Tick(w, false);
    ASSERT_EQ(w.SilentTicks, 2);
    const QString status = w.lStatus->text();
    // The last request's sequence with the reply-flag bit: not its answer.
    sendStray(static_cast<std::uint8_t>(w.unit().LastSentSequence() | 0x80));
    Tick(w, false);
    EXPECT_EQ(w.SilentTicks, 2);
    EXPECT_TRUE(w.UnitConnected);
    EXPECT_EQ(w.lStatus->text(), status);
    EXPECT_EQ(w.lFreq->text(), "00.000 MHz");
}

TEST_F(PollTest, ShortStatusReplyAnswersButIsNotDecoded) {
    TfmMain& w = Connect();
    unit_->SetResponder([](const Bytes& request) -> std::optional<Bytes> {
        return ReplyFrame(Bytes{request.at(0), 0x00, 13, 1, 0, 0x78});
    });
    TickAndWait(*unit_, 8);
    w.tmPollTimer();
    EXPECT_TRUE(w.UnitConnected);
    EXPECT_TRUE(w.btRetract->isEnabled());
    EXPECT_EQ(w.lStatus->text(), "Stato: in connessione...");
    EXPECT_EQ(w.lFreq->text(), "00.000 MHz");
    EXPECT_EQ(w.FirmwareVersion, 0);
}

TEST_F(PollTest, IndicatorTickDrivesLampsAndTheMovingBlink) {
    TfmMain& w = Connect();
    // A frame written lights TX; the tick puts it out.
    w.tmPollTimer();
    EXPECT_EQ(w.ldTX->brushColor(), clLime);
    // Its answer came and the unit read it: RX shows the reception for one
    // tick, then goes out while nothing comes.
    ASSERT_TRUE(WaitFor(
        [&] { return !w.unit().ReplyBuffer().empty() && w.unit().Port().InputCount() == 0; }));
    w.tmTimerTimer();
    EXPECT_EQ(w.ldTX->brushColor(), clGreen);
    EXPECT_EQ(w.ldRX->brushColor(), clNavy);
    w.tmTimerTimer();
    EXPECT_EQ(w.ldRX->brushColor(), clAqua);
    TickAndWait(*unit_);
    w.tmTimerTimer();
    EXPECT_EQ(w.ldRX->brushColor(), clNavy); // the reply waits

    // Not moving: hidden, yellow, gray.
    EXPECT_TRUE(w.Label13->isHidden());
    EXPECT_EQ(BackgroundOf(w.Label13), clYellow);
    EXPECT_EQ(TextColorOf(w.lMove), clGray);
    EXPECT_EQ(w.ldMove->brushColor(), clGray);

    w.ElementsMoving = true;
    for (int round = 0; round < 2; ++round) {
        w.tmTimerTimer(); // phase A
        EXPECT_FALSE(w.Label13->isHidden());
        EXPECT_EQ(BackgroundOf(w.Label13), clBlack);
        EXPECT_EQ(TextColorOf(w.lMove), clWhite);
        EXPECT_EQ(w.ldMove->brushColor(), clGreen);
        w.tmTimerTimer(); // phase B
        EXPECT_FALSE(w.Label13->isHidden());
        EXPECT_EQ(BackgroundOf(w.Label13), clRed);
        EXPECT_EQ(TextColorOf(w.lMove), clGray);
        EXPECT_EQ(w.ldMove->brushColor(), clBlack);
    }
    w.tmTimerTimer(); // A
    w.ElementsMoving = false;
    w.tmTimerTimer();
    EXPECT_TRUE(w.Label13->isHidden());
    EXPECT_EQ(BackgroundOf(w.Label13), clYellow);
    EXPECT_EQ(TextColorOf(w.lMove), clGray);
    EXPECT_EQ(w.ldMove->brushColor(), clGray);
    w.ElementsMoving = true;
    w.tmTimerTimer(); // the first moving tick is phase A again
    EXPECT_EQ(BackgroundOf(w.Label13), clBlack);
}

TEST_F(PollTest, RigSelectionIsMirroredAndTheHighlightFades) {
    WriteIni("[OmniRig]\nRig1=1\n");
    TfmMain& w = Connect();
    SetBackground(w.ckOmni1, clLime);
    SetBackground(w.ckOmni2, clYellow);
    w.RigHighlightTicks = 2;
    w.tmPollTimer();
    EXPECT_TRUE(w.Radio1->isChecked());
    EXPECT_FALSE(w.Radio2->isChecked());
    EXPECT_EQ(BackgroundOf(w.ckOmni1), clLime);
    w.tmPollTimer();
    EXPECT_EQ(w.RigHighlightTicks, 0);
    EXPECT_EQ(BackgroundOf(w.ckOmni1), clGreen);
    EXPECT_EQ(BackgroundOf(w.ckOmni2), clYellow);
    // Marks are set, never cleared.
    w.ckOmni1->setChecked(false);
    w.tmPollTimer();
    EXPECT_TRUE(w.Radio1->isChecked());
}

TEST(BandNames, BandsHoldTheirLimitsAndNothingOutside) {
    EXPECT_EQ(BandNames.size(), 11u);
    EXPECT_EQ(BandNames[3], "10 meters");
    const std::pair<std::uint32_t, std::string_view> cases[] = {
        {6999, ""},
        {7000, "40 meters"},
        {7300, "40 meters"},
        {7301, ""},
        {10100, "30 meters"},
        {10151, ""},
        {14350, "20 meters"},
        {18068, "17 meters"},
        {18169, ""},
        {21000, "15 meters"},
        {24890, "12 meters"},
        {24991, ""},
        {27999, ""},
        {28000, "10 meters"},
        {29700, "10 meters"},
        {50000, "6 meter"},
        {54000, "6 meter"},
        {54001, ""},
        {0, ""},
        {65535, ""},
    };
    for (const auto& [khz, name] : cases)
        EXPECT_EQ(BandNameFor(khz), name) << khz;
}

} // namespace
} // namespace koravel::test
