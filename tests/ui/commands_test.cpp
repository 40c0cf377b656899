// The operator's commands: every click area and button puts its exact frame
// on the wire of a simulated unit.
#include "window_fixture.h"

#include "protocol/frame.h"
#include "unit/unit.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ui/image_box.h"

namespace koravel::test {
namespace {

class CommandsTest : public WindowTest {
protected:
    TfmMain& Connect() {
        unit_ = &StartSim(1);
        TfmMain& w = MakeWindow();
        w.show();
        w.FormActivate();
        EXPECT_EQ(w.PortNumber, 1);
        return w;
    }

    // The command and argument of the unit's latest request, after checking
    // that it asked for a reply (sequence bit 7) and is intact.
    Bytes LastCommand() {
        const Bytes request = LastRequest(*unit_);
        if (request.size() < 3)
            return {};
        EXPECT_TRUE(frame::ChecksumValid(request));
        EXPECT_NE(request[0] & 0x80, 0) << "reply flag";
        return Bytes(request.begin() + 1, request.end() - 1);
    }

    // Clicks the area's centre as the operator does and waits for the
    // exchange to end; true when the unit received a new request.
    bool Click(QWidget* area) {
        return AndWait(*unit_, [area] { MouseClick(area); }) > 0;
    }

    sim::Simulator* unit_ = nullptr;
};

TEST_F(CommandsTest, BandButtonsSendTheirFrequencies) {
    TfmMain& w = Connect();
    const struct {
        TImage* area;
        Bytes command;
    } bands[] = {
        {w.Image12, {0x03, 0x8A, 0x1B}}, {w.Image13, {0x03, 0x8D, 0x27}},
        {w.Image14, {0x03, 0x78, 0x37}}, {w.Image15, {0x03, 0xB4, 0x46}},
        {w.Image2, {0x03, 0xD0, 0x52}},  {w.Image4, {0x03, 0x76, 0x61}},
        {w.Image5, {0x03, 0x54, 0x6F}},  {w.Image6, {0x03, 0xB4, 0xC3}},
    };
    for (const auto& band : bands) {
        ASSERT_TRUE(Click(band.area)) << band.area->objectName().toStdString();
        EXPECT_EQ(LastCommand(), band.command) << band.area->objectName().toStdString();
    }
    EXPECT_TRUE(w.unit().ExchangeEnabled());

    // Twice clicked, twice sent; each with a new sequence byte. The second
    // click comes while the first waits for its answer: the first ends
    // there, and only the second is ever asked again.
    const std::size_t before = unit_->Requests().size();
    AndWait(*unit_, [&] {
        w.Image14Click();
        ASSERT_FALSE(w.unit().Idle());
        w.Image14Click();
    });
    const auto requests = unit_->Requests();
    ASSERT_GE(requests.size(), before + 2);
    EXPECT_NE(requests[before][0], requests[before + 1][0]);
    for (std::size_t i = before + 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i], requests[before + 1]) << "request " << i - before;

    // The small lamp pictures under the client panel send 15 m.
    for (TImage* lamp : {w.Image8, w.Image9, w.Image10, w.Image11}) {
        ASSERT_TRUE(Click(lamp));
        EXPECT_EQ(LastCommand(), (Bytes{0x03, 0xD0, 0x52}));
    }
}

TEST_F(CommandsTest, ArrowsStepTheReportedFrequencyWithinTheUnitsRange) {
    TfmMain& w = Connect();
    // At 0 kHz (retracted, or before the first status reply) the left arrow
    // has nowhere to go; it must not ask for 65.511 MHz.
    ASSERT_EQ(w.ReportedFrequency, 0);
    EXPECT_FALSE(Click(w.Image17));
    ASSERT_TRUE(Click(w.Image16));
    EXPECT_EQ(LastCommand(), (Bytes{0x03, 0x19, 0x00})); // 25
    EXPECT_EQ(w.ReportedFrequency, 0);                   // the arrows leave it to the next reply

    // The ends of the range: never a wrapped frequency.
    const struct {
        std::int32_t reported;
        TImage* arrow;
        Bytes sent; // empty: nothing sent
    } steps[] = {
        {24, w.Image17, {}},
        {25, w.Image17, {0x03, 0x00, 0x00}},
        {14200, w.Image17, {0x03, 0x5F, 0x37}}, // 14175
        {65510, w.Image16, {0x03, 0xFF, 0xFF}}, // 65535
        {65511, w.Image16, {}},
        {65535, w.Image16, {}},
    };
    for (const auto& step : steps) {
        w.ReportedFrequency = step.reported;
        const bool sent = Click(step.arrow);
        EXPECT_EQ(sent, !step.sent.empty()) << step.reported;
        if (sent) {
            EXPECT_EQ(LastCommand(), step.sent) << step.reported;
        }
    }
}

TEST_F(CommandsTest, DirectionButtonsMoveTheMarkerAndSendTheDirection) {
    TfmMain& w = Connect();
    ASSERT_TRUE(w.Image21->isHidden());
    w.ReportedFrequency = 14200;
    const struct {
        TImage* area;
        QPoint marker;
        std::uint8_t direction;
    } buttons[] = {
        {w.Image19, {184, 38}, 2},
        {w.Image18, {104, 38}, 1},
        {w.Image20, {24, 38}, 0},
    };
    for (const auto& b : buttons) {
        ASSERT_TRUE(Click(b.area)) << b.area->objectName().toStdString();
        EXPECT_EQ(LastCommand(), (Bytes{0x03, 0x78, 0x37, b.direction}));
        EXPECT_EQ(w.Image21->pos(), b.marker);
        EXPECT_FALSE(w.Image21->isHidden());
    }

    // Before any status reply the frequency is 0; the marker moves even when
    // the command goes unanswered.
    w.ReportedFrequency = 0;
    unit_->SetResponder([](const Bytes&) -> std::optional<Bytes> { return Bytes{}; });
    const std::size_t before = unit_->Requests().size();
    AndWait(*unit_, [&] {
        w.Image19Click();
        EXPECT_EQ(w.Image21->pos(), QPoint(184, 38));
    });
    EXPECT_EQ(unit_->Requests().size(), before + 4); // four attempts
    EXPECT_EQ(LastCommand(), (Bytes{0x03, 0x00, 0x00, 0x02}));
}

TEST_F(CommandsTest, RetractAreaAndButtonSendRetract) {
    TfmMain& w = Connect();
    w.Message1->setText("ELEMENTS");
    // The captions change once the exchange has ended.
    ASSERT_TRUE(Click(w.Image24));
    EXPECT_EQ(LastCommand(), (Bytes{0x02}));
    EXPECT_EQ(w.Message1->text(), "Elements");
    EXPECT_EQ(w.Message2->text(), "Retracted");

    // The button works once the link is up.
    EXPECT_FALSE(w.btRetract->isEnabled());
    TickAndWait(*unit_);
    w.tmPollTimer();
    ASSERT_TRUE(w.btRetract->isEnabled());
    unit_->ClearRequests();
    MouseClick(w.btRetract);
    ASSERT_TRUE(WaitFor([&] { return unit_->RequestCount(2) == 1; }));
    const auto requests = unit_->Requests();
    EXPECT_EQ(Bytes(requests.back().begin() + 1, requests.back().end() - 1), (Bytes{0x02}));
}

TEST_F(CommandsTest, CloseAreaClosesTheWindowAndSavesTheSettings) {
    TfmMain& w = Connect();
    ASSERT_TRUE(w.isVisible());
    const std::size_t before = FramesWritten();
    MouseClick(w.Image23);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(FramesWritten(), before);
    EXPECT_NE(ReadIni().find("Serialport=1"), std::string::npos);
}

TEST_F(CommandsTest, ClickOnTheTwentyMetreButtonTunesTheUnitThroughTheRunningTimers) {
    sim::UnitConfig config;
    config.motionBaseMs = 300;
    config.motionMsPerKhz = 0.05;
    unit_ = &StartSim(1, config);
    TfmMain& w = MakeWindow(true);
    w.show();
    w.FormActivate();
    ASSERT_TRUE(WaitFor([&] { return w.lStatus->text() == "Connesso con Koravel v1.13"; }));
    ASSERT_FALSE(w.Retract_Panel->isHidden());

    const QPoint centre = w.Image14->geometry().center();
    MouseClick(w.pnBlue->childAt(centre), w.Image14->mapFromParent(centre));
    bool blinked = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            blinked = blinked || !w.Label13->isHidden();
            return w.lFreq->text() == "14.200 MHz" && !w.ElementsMoving;
        },
        20000));
    EXPECT_TRUE(blinked);
    EXPECT_EQ(w.lBanda->text(), "20 meters");
    EXPECT_TRUE(WaitFor([&] { return w.Retract_Panel->isHidden() && w.Label13->isHidden(); }));
    EXPECT_EQ(unit_->State().state.frequencyKhz, 14200);
}

} // namespace
} // namespace koravel::test
