// The unit pulled out from under the window: the simulated unit hangs up (its
// side of the line closes, the port's link stays) or vanishes (stopped, link
// removed) in the middle of the status poll, of an operator command and of a
// set-up transfer. The window must not crash or spin, must end every exchange
// after its attempts, report the transfer's failure, show the link down after
// the silent ticks, keep its settings at close, and reconnect when the port is
// chosen again. Time is the unit's own: a block that goes unanswered takes its
// four time-outs of 6 s.
#include "window_fixture.h"

#include "ui/elided_label.h"

#include "protocol/commands.h"
#include "transport/port.h"
#include "unit/unit.h"

#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace koravel::test {
namespace {

const QString kSent = QStringLiteral("Trasmissione dati eseguita correttamente.");
const QString kNotSent = QStringLiteral("Trasmissione dati non eseguita.");
const QString kSendError = QStringLiteral("Errore in invio dati. Prego riprovare");
const QString kConnecting = QStringLiteral("Stato: in connessione...");
const QString kConnected = QStringLiteral("Connesso con Koravel v1.13");

enum class Pull {
    HangUp, // the adapter's far side closes; ports/com1 still points at it
    Vanish, // the device is gone, link and all
};

enum class During {
    Poll,     // a status request is on its way
    Command,  // an operator command waits for its answer
    Transfer, // a set-up transfer is half-way
};

struct Case {
    Pull pull;
    During during;
};

std::string Name(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.pull == Pull::HangUp ? "HangUp" : "Vanish";
    switch (info.param.during) {
    case During::Poll:
        return name + "DuringPoll";
    case During::Command:
        return name + "DuringCommand";
    case During::Transfer:
        return name + "DuringTransfer";
    }
    return name;
}

// Pulls the unit out from a thread of its own as soon as the unit receives
// the request that `trigger` picks; that request gets no answer.
class Unplugger {
public:
    Unplugger(sim::Simulator& unit, Pull pull, std::function<bool(const Bytes&)> trigger)
        : unit_(unit), pull_(pull) {
        unit_.SetResponder(
            [this, trigger = std::move(trigger)](const Bytes& request) -> std::optional<Bytes> {
                std::lock_guard<std::mutex> lock(mutex_);
                if (fired_ || !trigger(request))
                    return std::nullopt;
                fired_ = true;
                changed_.notify_all();
                return Bytes{}; // no reply: the unit goes before it answers
            });
        thread_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return fired_ || cancelled_; });
            if (cancelled_)
                return;
            lock.unlock();
            if (pull_ == Pull::HangUp)
                unit_.HangUp();
            else
                unit_.Stop();
            done_ = true;
        });
    }
    ~Unplugger() {
        unit_.SetResponder(nullptr);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancelled_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable())
            thread_.join();
    }
    Unplugger(const Unplugger&) = delete;
    Unplugger& operator=(const Unplugger&) = delete;

    // The unit is gone.
    bool Done() const { return done_.load(); }

private:
    sim::Simulator& unit_;
    Pull pull_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool fired_ = false;
    bool cancelled_ = false;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class UnplugTest : public WindowTest, public ::testing::WithParamInterface<Case> {
protected:
    // The window on com1 with its timers stopped, the link up.
    TfmMain& Connected() {
        unit_ = &StartSim(1);
        WriteIni("[General]\nSerialport=1\n[OmniRig]\nRig1=0\nRig2=0\n");
        TfmMain& w = MakeWindow();
        w.show();
        w.FormActivate();
        EXPECT_EQ(w.PortNumber, 1);
        TickAndWait(*unit_);
        TickAndWait(*unit_);
        EXPECT_TRUE(w.UnitConnected);
        EXPECT_EQ(w.lStatus->text(), kConnected);
        return w;
    }

    // Waits until the unit is gone (the unplugging thread is done).
    static void WaitGone(const Unplugger& pull) {
        ASSERT_TRUE(WaitFor([&] { return pull.Done(); })) << "the unit did not go";
    }

    // Drives the poll until the link is shown down; the number of ticks.
    int TicksUntilDown(TfmMain& w) {
        int ticks = 0;
        while (w.UnitConnected && ticks < 100) {
            w.tmPollTimer();
            ++ticks;
        }
        return ticks;
    }

    // The event loop still runs: a timer posted now fires.
    static bool EventLoopRuns() {
        bool fired = false;
        QTimer::singleShot(20, [&fired] { fired = true; });
        return WaitFor([&] { return fired; });
    }

    // Waits until the window's exchanges have ended (a command's four
    // attempts of 100 ms take well under the time given).
    static bool Ended(TfmMain& w) {
        return WaitFor([&] { return w.unit().Idle(); });
    }

    sim::Simulator* unit_ = nullptr;
};

TEST_P(UnplugTest, WindowSurvivesReportsAndReconnects) {
    const Case c = GetParam();
    TfmMain& w = Connected();
    ASSERT_TRUE(w.UnitConnected);
    const std::string data = std::string(KORAVEL_SOURCE_DIR) + "/tests/data/kv100-fw113.koravel";

    // ---- The unit goes in the middle of something. ----
    int silentAlready = 0; // silent ticks the link took before the drive below
    switch (c.during) {
    case During::Poll: {
        Unplugger pull(*unit_, c.pull, [](const Bytes& r) { return r[1] == kCommandStatus; });
        w.tmPollTimer(); // the status request that is never answered
        WaitGone(pull);
        break;
    }
    case During::Command: {
        // The answer to the last status request is read before the command:
        // the unit keeps it for the next tick, whatever happens to the line.
        ASSERT_TRUE(WaitFor([&] { return w.unit().Port().InputCount() == 0; }));
        Unplugger pull(*unit_, c.pull, [](const Bytes& r) { return r[1] == kCommandTune; });
        w.Image14Click(); // "20": waits for its answer while the unit goes
        EXPECT_FALSE(w.unit().Idle());
        WaitGone(pull);
        EXPECT_TRUE(Ended(w)) << "the command kept waiting after its attempts";
        // The first attempt reached the unit. The unit goes from a thread of
        // its own, so on a busy machine a retry may still reach it before it
        // is gone; none beyond the command's four attempts.
        EXPECT_GE(unit_->RequestCount(kCommandTune), 1u);
        EXPECT_LE(unit_->RequestCount(kCommandTune), 4u);
        w.tmPollTimer();
        EXPECT_EQ(w.SilentTicks, 0) << "the answer read before the unit went was lost";
        break;
    }
    case During::Transfer: {
        // Gone at the tenth block write, blocks 0 to 8 written.
        int blockWrites = 0;
        Unplugger pull(*unit_, c.pull, [&blockWrites](const Bytes& r) {
            return r[1] == kCommandWriteBlock && ++blockWrites == 10;
        });
        prompts_->acceptFile = true;
        w.dlgOpen->selectFile(QString::fromStdString(data));
        w.lResult->clear();
        const TfmMain::SendOutcome outcome = w.btInviaClick(); // ends after block 9's attempts
        WaitGone(pull);
        EXPECT_EQ(outcome, TfmMain::SendOutcome::NotSent);
        EXPECT_EQ(w.lResult->text(), kNotSent);
        ASSERT_EQ(prompts_->messages.size(), 1u);
        EXPECT_EQ(prompts_->messages[0].first, QStringLiteral("Koravel"));
        // The block that failed is named, and what the unit now holds.
        const QString said = prompts_->messages[0].second;
        EXPECT_TRUE(said.startsWith(kSendError)) << said.toStdString();
        EXPECT_NE(said.indexOf("blocco 10 (Useroffs8) potrebbe non essere stato scritto"), -1);
        EXPECT_NE(said.indexOf("contiene 9 blocchi"), -1);
        // The nine blocks before it (0, 1, 3 to 9) and nothing after.
        std::vector<int> written;
        for (const auto& [block, bytes] : unit_->Eeprom())
            written.push_back(block);
        EXPECT_EQ(written, (std::vector<int>{0, 1, 3, 4, 5, 6, 7, 8, 9}));
        // Back to idle, the poll running again.
        EXPECT_TRUE(w.mmLog->isHidden());
        EXPECT_TRUE(w.btImposta->isEnabled());
        EXPECT_TRUE(w.tmPoll->isActive());
        w.tmPoll->stop(); // this test drives the ticks
        EXPECT_TRUE(w.unit().Idle());
        // The transfer's stopped poll took no ticks, so the link is still up.
        // The answer to the status request before the transfer may count on
        // the first tick after it (the unit read it while the link settled)
        // or not (it was still at the port for the drain): the tick that
        // takes the link down comes 39 silent ticks later all the same.
        w.tmPollTimer();
        break;
    }
    }
    EXPECT_TRUE(EventLoopRuns());
    silentAlready = w.SilentTicks;

    // ---- The link goes down on the 39th silent tick, not before. ----
    ASSERT_TRUE(w.UnitConnected);
    const int ticks = TicksUntilDown(w);
    EXPECT_EQ(ticks + silentAlready, 39) << "silent ticks before the link was shown down";
    EXPECT_FALSE(w.UnitConnected);
    EXPECT_EQ(w.lStatus->text(), kConnecting);
    EXPECT_FALSE(w.btImposta->isEnabled());
    EXPECT_FALSE(w.btRetract->isEnabled());
    // Ticks go on without a unit, and commands end after their attempts.
    for (int i = 0; i < 5; ++i)
        w.tmPollTimer();
    w.Image16Click();
    EXPECT_TRUE(Ended(w)) << "a command to no unit kept waiting after its attempts";
    EXPECT_TRUE(EventLoopRuns());

    // ---- The settings survive a close while the unit is away. ----
    std::filesystem::remove(IniPath());
    w.FormClose();
    std::string ini = ReadIni();
    EXPECT_NE(ini.find("Serialport=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[OmniRig]"), std::string::npos) << ini;

    // ---- The bar says the port is gone and tried again. ----
    w.RenderStatusBar();
    EXPECT_NE(w.lNotice->fullText().indexOf("ogni 2 s"), -1) << w.lNotice->fullText().toStdString();

    // ---- The unit is back at the same path: picked up without a click. ----
    sim::Simulator& back = StartSim(1);
    w.tmReopen->start();
    ASSERT_TRUE(WaitFor([&] { return w.unit().Port().InputFd() != transport::kNoHandle; }))
        << "the port was not opened again";
    w.tmReopen->stop();
    EXPECT_EQ(w.PortNumber, 1);
    EXPECT_EQ(w.lStatus->text(), kConnecting);
    EXPECT_FALSE(w.UnitConnected);
    TickAndWait(back);
    TickAndWait(back);
    EXPECT_TRUE(w.UnitConnected);
    EXPECT_EQ(w.lStatus->text(), kConnected);
    EXPECT_TRUE(w.btRetract->isEnabled());
    // Commands and transfers work again.
    EXPECT_GE(AndWait(back, [&] { w.Image12Click(); }), 1u); // "40"
    // A reply slowed by a loaded machine is asked for again: up to 4 attempts.
    EXPECT_GE(back.RequestCount(kCommandTune), 1u);
    EXPECT_LE(back.RequestCount(kCommandTune), 4u);
    if (c.during == During::Transfer) {
        prompts_->messages.clear();
        w.lResult->clear();
        EXPECT_EQ(w.btInviaClick(), TfmMain::SendOutcome::Sent);
        EXPECT_EQ(w.lResult->text(), kSent);
        EXPECT_TRUE(prompts_->messages.empty());
        EXPECT_EQ(back.Eeprom().size(), 68u);
        w.tmPoll->stop();
    }

    // ---- Closing the window keeps the port and the selection. ----
    std::filesystem::remove(IniPath());
    w.close();
    ini = ReadIni();
    EXPECT_NE(ini.find("Serialport=1"), std::string::npos) << ini;
}

INSTANTIATE_TEST_SUITE_P(
    Unplugging, UnplugTest,
    ::testing::Values(Case{Pull::HangUp, During::Poll}, Case{Pull::Vanish, During::Poll},
                      Case{Pull::HangUp, During::Command}, Case{Pull::Vanish, During::Command},
                      Case{Pull::HangUp, During::Transfer}, Case{Pull::Vanish, During::Transfer}),
    Name);

} // namespace
} // namespace koravel::test
