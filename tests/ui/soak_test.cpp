// The fault soak: the real window with its timers running, against the
// simulated unit misbehaving in changing ways (dropped, corrupted, noisy and
// late replies, refused blocks), while operator clicks arrive at random
// moments (while other exchanges wait, transfers among them), a real rig
// behind rigctld keeps changing frequency, and set-up files are sent. It
// checks that the window never stalls, that every transfer reporting success
// left exactly its file in the unit's EEPROM, that every other transfer
// reported its failure, that the link comes back once the faults stop, and
// that after a burst of rig changes with slow replies the unit's last order is
// the rig's last frequency.
//
// KORAVEL_SOAK_SECONDS sets the length of the faulty part (default short for
// the test suite; scripts/soak-long.sh runs it for minutes), KORAVEL_SOAK_SEED
// the seed of the random choices.
#include "window_fixture.h"

#include "cat/omnirig_tlb.h"
#include "ini/profile.h"
#include "protocol/commands.h"
#include "support/rig_process.h"
#include "support/setup_image.h"
#include "ui/image_box.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace koravel::test {
namespace {

using Clock = std::chrono::steady_clock;
using testing_support::RigctldProcess;

const QString kSent = QStringLiteral("Trasmissione dati eseguita correttamente.");
const QString kNotSent = QStringLiteral("Trasmissione dati non eseguita.");
const QString kSendError = QStringLiteral("Errore in invio dati. Prego riprovare");
const QString kConnected = QStringLiteral("Connesso con Koravel v1.13");

constexpr int kDefaultSeconds = 25;
constexpr std::uint32_t kDefaultSeed = 6;
// The longest the event loop may go without serving a 10 ms timer. Far above
// what a loaded, sanitised run shows, far below a real stall.
constexpr std::int64_t kMaxGapMs = 500;

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (end != nullptr && *end == '\0' && value > 0) ? static_cast<int>(value) : fallback;
}

// The largest gap between two ticks of a 10 ms timer of the window's thread.
class Heartbeat {
public:
    Heartbeat() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            if (paused_)
                return;
            maxGapMs_ = std::max<std::int64_t>(
                maxGapMs_,
                std::chrono::duration_cast<std::chrono::milliseconds>(now - last_).count());
            last_ = now;
            ++ticks_;
        });
    }
    void Start() {
        last_ = Clock::now();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    // The test's own bookkeeping between Pause and Resume is not the window's.
    void Pause() { paused_ = true; }
    void Resume() {
        paused_ = false;
        last_ = Clock::now();
    }
    std::int64_t MaxGapMs() const { return maxGapMs_; }
    long Ticks() const { return ticks_; }

private:
    QTimer timer_;
    Clock::time_point last_;
    bool paused_ = false;
    std::int64_t maxGapMs_ = 0;
    long ticks_ = 0;
};

// When the poll timer's latest tick began: the timer's event reaches this
// filter before the window's handler runs.
class TickWatch : public QObject {
public:
    explicit TickWatch(QTimer* timer) : timer_(timer) { timer_->installEventFilter(this); }
    ~TickWatch() override { timer_->removeEventFilter(this); }
    TickWatch(const TickWatch&) = delete;
    TickWatch& operator=(const TickWatch&) = delete;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer)
            start_ = Clock::now();
        return false;
    }
    std::int64_t SinceStartMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    }

private:
    QTimer* timer_;
    Clock::time_point start_ = Clock::now();
};

// Calls back on every click that reaches one of the areas, before the
// area's handler runs.
class ClickWatch : public QObject {
public:
    ClickWatch(std::vector<QWidget*> areas, std::function<void()> clicked)
        : areas_(std::move(areas)), clicked_(std::move(clicked)) {
        for (QWidget* area : areas_)
            area->installEventFilter(this);
    }
    ~ClickWatch() override {
        for (QWidget* area : areas_)
            area->removeEventFilter(this);
    }
    ClickWatch(const ClickWatch&) = delete;
    ClickWatch& operator=(const ClickWatch&) = delete;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease)
            clicked_();
        return false;
    }

private:
    std::vector<QWidget*> areas_;
    std::function<void()> clicked_;
};

// Turns the rig's dial with rigctl from a thread of its own.
class DialTurner {
public:
    DialTurner(std::uint16_t port, std::uint32_t seed) : port_(port), rng_(seed) {}
    ~DialTurner() { Stop(); }
    DialTurner(const DialTurner&) = delete;
    DialTurner& operator=(const DialTurner&) = delete;

    void Start() {
        thread_ = std::thread([this] {
            std::uniform_int_distribution<int> khz(1800, 54000);
            std::uniform_int_distribution<int> pause(250, 1200);
            while (!stop_.load()) {
                const int hz = khz(rng_) * 1000 + 500;
                if (testing_support::Rigctl(port_, {"F", std::to_string(hz)}))
                    ++changes_;
                std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng_)));
            }
            finished_ = true;
        });
    }
    // Asks the thread to end without waiting for it.
    void RequestStop() { stop_ = true; }
    bool Finished() const { return finished_.load(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    int Changes() const { return changes_.load(); }

private:
    std::uint16_t port_;
    std::mt19937 rng_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> changes_{0};
    std::thread thread_;
};

// A copy of the reference set-up file whose every block carries this
// transfer's stamp, so that a block left over from an earlier transfer
// cannot pass for one of this transfer.
std::string StampedSetupFile(const std::string& dir, int stamp) {
    std::string error;
    std::optional<ini::Profile> file =
        ini::Profile::Load(testing_support::SetupDataFile("kv100-fw113.koravel"), error);
    EXPECT_TRUE(file) << error;
    if (!file)
        return {};
    const std::string text = "soak " + std::to_string(stamp);
    file->Set("Factory", "reser", text);
    file->Set("User", "reser", text);
    for (int n = 1; n <= 33; ++n) {
        file->Set("Useroffs" + std::to_string(n), "offset4", std::to_string(-stamp * 100 - n));
        file->Set("FactoryTune" + std::to_string(n), "Tune4", std::to_string(stamp * 100 + n));
    }
    const std::string path = dir + "/soak-" + std::to_string(stamp) + ".koravel";
    EXPECT_TRUE(file->Save(path, error)) << error;
    return path;
}

// Blocks whose content differs between two images.
std::string Differences(const std::map<int, Bytes>& expected, const std::map<int, Bytes>& got) {
    std::ostringstream out;
    for (const auto& [block, bytes] : expected) {
        const auto it = got.find(block);
        if (it == got.end())
            out << " " << block << "(missing)";
        else if (it->second != bytes)
            out << " " << block;
    }
    for (const auto& [block, bytes] : got) {
        if (expected.count(block) == 0)
            out << " " << block << "(extra)";
    }
    return out.str();
}

struct FaultPhase {
    const char* name;
    sim::Faults faults;
};

class SoakTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (!testing_support::HaveRigctld())
            GTEST_SKIP() << "rigctld and rigctl (package libhamlib-utils) are not installed";
        seed_ = static_cast<std::uint32_t>(EnvInt("KORAVEL_SOAK_SEED", kDefaultSeed));
        rng_.seed(seed_);
        seconds_ = EnvInt("KORAVEL_SOAK_SECONDS", kDefaultSeconds);
    }

    void TearDown() override {
        if (dial_)
            dial_->Stop();
        WindowTest::TearDown(); // the window and its CAT client go first
        if (rig_)
            rig_->Stop();
        EXPECT_TRUE(TOmniRigX::WaitForWorkers(15000));
    }

    // The unit: paced at 19200 baud like the real line, its faults seeded.
    sim::Simulator& StartFaultySim() {
        sim::Options options;
        options.port = 1;
        options.configDir = dir_;
        options.pace = true;
        options.seed = seed_;
        auto unit = std::make_unique<sim::Simulator>(options);
        std::string error;
        EXPECT_TRUE(unit->Start(error)) << error;
        sims_.push_back(std::move(unit));
        return *sims_.back();
    }

    FaultPhase RandomPhase() {
        std::uniform_real_distribution<double> p(0.05, 0.3);
        std::uniform_int_distribution<int> delay(20, 250);
        std::uniform_int_distribution<int> block(0, 67);
        FaultPhase phase{"clean", {}};
        switch (std::uniform_int_distribution<int>(0, 6)(rng_)) {
        case 0:
            break;
        case 1:
            phase.name = "drop";
            phase.faults.drop = p(rng_);
            break;
        case 2:
            phase.name = "corrupt";
            phase.faults.corrupt = p(rng_);
            break;
        case 3:
            phase.name = "noise";
            phase.faults.noise = p(rng_) * 3;
            break;
        case 4:
            phase.name = "delay";
            phase.faults.delayMs = delay(rng_);
            break;
        case 5:
            phase.name = "refuse";
            phase.faults.failBlocks = {block(rng_)};
            phase.faults.noise = p(rng_);
            break;
        default:
            phase.name = "mixed";
            phase.faults.drop = p(rng_) / 2;
            phase.faults.corrupt = p(rng_) / 2;
            phase.faults.noise = p(rng_);
            phase.faults.delayMs = delay(rng_) / 2;
            break;
        }
        return phase;
    }

    // A left click on the area, posted: it runs whenever the window's events
    // are next served, inside a waiting exchange as often as not.
    static void PostClick(QWidget* area) {
        const QPointF local(area->rect().center());
        const QPointF global(area->mapToGlobal(area->rect().center()));
        QCoreApplication::postEvent(area, new QMouseEvent(QEvent::MouseButtonPress, local, global,
                                                          Qt::LeftButton, Qt::LeftButton,
                                                          Qt::NoModifier));
        QCoreApplication::postEvent(area,
                                    new QMouseEvent(QEvent::MouseButtonRelease, local, global,
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    // One send of a freshly stamped file, run from a posted event.
    void Transfer(TfmMain& w) {
        if (heartbeat_ != nullptr)
            heartbeat_->Pause();
        const int stamp = ++transfers_;
        const std::string path = StampedSetupFile(dir_, stamp);
        // The layouts follow the version the poll decoded; the unit is 1.13.
        EXPECT_EQ(w.FirmwareVersion, 269);
        const std::map<int, Bytes> expected = testing_support::ExpectedImage(path, 269);
        EXPECT_EQ(expected.size(), 68u);
        prompts_->acceptFile = true;
        w.dlgOpen->selectFile(QString::fromStdString(path));
        w.lResult->clear();
        const std::size_t messagesBefore = prompts_->messages.size();
        transferRunning_ = true;
        if (heartbeat_ != nullptr)
            heartbeat_->Resume();
        const TfmMain::SendOutcome outcome = w.btInviaClick();
        const std::map<int, Bytes> image = unit_->Eeprom();
        transferRunning_ = false;
        if (heartbeat_ != nullptr)
            heartbeat_->Pause();
        const std::vector<std::pair<QString, QString>> shown(
            prompts_->messages.begin() + static_cast<std::ptrdiff_t>(messagesBefore),
            prompts_->messages.end());

        switch (outcome) {
        case TfmMain::SendOutcome::Sent:
            ++sent_;
            EXPECT_EQ(w.lResult->text(), kSent) << "transfer " << stamp;
            EXPECT_TRUE(shown.empty()) << "transfer " << stamp;
            // The unit writes a block before it answers, so a success that
            // rests on the right answers finds the whole file in place.
            EXPECT_TRUE(image == expected)
                << "transfer " << stamp << " reported success, but these blocks do not hold "
                << "the file:" << Differences(expected, image);
            break;
        case TfmMain::SendOutcome::NotSent:
            ++notSent_;
            EXPECT_EQ(w.lResult->text(), kNotSent) << "transfer " << stamp;
            ASSERT_EQ(shown.size(), 1u) << "transfer " << stamp;
            EXPECT_EQ(shown[0].first, QStringLiteral("Koravel"));
            EXPECT_EQ(shown[0].second, kSendError);
            break;
        default:
            ADD_FAILURE() << "transfer " << stamp << " ended with outcome "
                          << static_cast<int>(outcome);
            break;
        }
        // Idle again, whatever the outcome.
        EXPECT_TRUE(w.mmLog->isHidden());
        EXPECT_TRUE(w.tmPoll->isActive());
        lastTransferEnd_ = Clock::now();
        if (heartbeat_ != nullptr)
            heartbeat_->Resume();
    }

    std::uint32_t seed_ = kDefaultSeed;
    int seconds_ = kDefaultSeconds;
    std::mt19937 rng_;
    sim::Simulator* unit_ = nullptr;
    std::unique_ptr<RigctldProcess> rig_;
    std::unique_ptr<DialTurner> dial_;

    Heartbeat* heartbeat_ = nullptr;
    bool transferRunning_ = false;
    Clock::time_point lastTransferEnd_;
    int transfers_ = 0;
    int sent_ = 0;
    int notSent_ = 0;
};

TEST_F(SoakTest, WindowHoldsUpUnderFaultsCommandsTrackingAndTransfers) {
    // A dummy rig for rig 1, followed from start-up.
    rig_ = std::make_unique<RigctldProcess>(testing_support::FreeLoopbackPort());
    ASSERT_NE(rig_->Port(), 0);
    ASSERT_TRUE(rig_->Start()) << "rigctld did not start on " << rig_->Address();
    ASSERT_TRUE(testing_support::Rigctl(rig_->Port(), {"F", "14200000"}));
    {
        std::ofstream out(dir_ + "/omnirig.ini");
        out << "[Rig1]\nModel=2\nPort=" << rig_->Address() << "\n[Rig2]\nModel=0\n";
    }
    unit_ = &StartFaultySim();
    WriteIni("[General]\nSerialport=1\n[OmniRig]\nRig1=1\nRig2=0\n");

    // The window with both timers running, time passing as in the program.
    TfmMain& w = MakeWindow(/*keepTimers=*/true);
    w.show();
    w.FormActivate();
    ASSERT_EQ(w.PortNumber, 1);
    ASSERT_TRUE(WaitFor([&] { return w.UnitConnected && w.lStatus->text() == kConnected; }, 20000))
        << "the link did not come up";
    ASSERT_TRUE(
        WaitFor([&] { return w.OmniRigClient != nullptr && w.OmniRigClient->Connected(); }, 20000))
        << "the CAT client did not connect";

    // Instruments: notifications reaching the tracking step, and the clicks
    // that came while an exchange waited (during a transfer, or another
    // command's wait).
    int notifications = 0;
    w.OmniRigClient->OnParamsChange = [&w, &notifications](TOmniRigX* sender, int rig, int params) {
        ++notifications;
        w.OmniRigParamsChange(sender, rig, params);
    };
    int clicksWhileWaiting = 0;
    int clicksDuringTransfers = 0;
    // Poll ticks, to show how often the poll got its turn, and the longest
    // a tick took from its start to its end.
    int pollTicks = 0;
    std::int64_t longestTickMs = 0;
    TickWatch tickWatch(w.tmPoll);
    QObject::connect(w.tmPoll, &QTimer::timeout, [&] {
        ++pollTicks;
        longestTickMs = std::max(longestTickMs, tickWatch.SinceStartMs());
    });

    const std::vector<QWidget*> areas = {w.Image12, w.Image13, w.Image14, w.Image15, w.Image2,
                                         w.Image4,  w.Image5,  w.Image6,  w.Image16, w.Image17,
                                         w.Image20, w.Image18, w.Image19, w.Image24, w.btRetract};
    ClickWatch clickWatch(areas, [&] {
        if (!w.unit().Idle())
            ++clicksWhileWaiting;
        if (transferRunning_)
            ++clicksDuringTransfers;
    });

    dial_ = std::make_unique<DialTurner>(rig_->Port(), seed_ + 1);
    dial_->Start();
    Heartbeat heartbeat;
    heartbeat_ = &heartbeat;
    heartbeat.Start();

    // The driver: a timer of the window's thread that posts clicks, bursts of
    // clicks, and transfers, and changes the faults every few seconds.
    const Clock::time_point start = Clock::now();
    const auto soakEnd = start + std::chrono::seconds(seconds_);
    Clock::time_point nextPhase = start;
    // The first send comes once the poll, the clicks and the tracking have
    // had a good share of the faults to themselves: a send stops the poll, and
    // on a lossy line each lost answer to a block costs its 6 s time-out.
    Clock::time_point nextTransfer = start + std::chrono::milliseconds(seconds_ * 400);
    lastTransferEnd_ = start;
    std::map<std::string, int> phases;
    int clicks = 0;
    bool driving = true;
    QTimer driver;
    driver.setInterval(40);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!driving)
            return;
        const Clock::time_point now = Clock::now();
        if (now >= nextPhase) {
            const FaultPhase phase = RandomPhase();
            unit_->SetFaults(phase.faults);
            ++phases[phase.name];
            nextPhase = now + std::chrono::milliseconds(
                                  std::uniform_int_distribution<int>(1500, 4000)(rng_));
        }
        std::uniform_int_distribution<std::size_t> area(0, areas.size() - 1);
        const int roll = std::uniform_int_distribution<int>(0, 99)(rng_);
        if (roll < 3) {
            PostClick(areas[area(rng_)]);
            ++clicks;
        } else if (roll < 4) {
            // Several at once: each takes the place of the one before.
            const int burst = std::uniform_int_distribution<int>(2, 4)(rng_);
            for (int i = 0; i < burst; ++i)
                PostClick(areas[area(rng_)]);
            clicks += burst;
        }
        // A send now and then, with time for the poll in between.
        if (!transferRunning_ && now >= nextTransfer) {
            if (nextTransfer <= lastTransferEnd_) {
                nextTransfer =
                    lastTransferEnd_ +
                    std::chrono::milliseconds(std::uniform_int_distribution<int>(3000, 9000)(rng_));
            } else {
                transferRunning_ = true; // until the posted send has run
                QMetaObject::invokeMethod(
                    &w, [&] { Transfer(w); }, Qt::QueuedConnection);
            }
        }
        if (now >= soakEnd)
            driving = false;
    });
    driver.start();

    // ---- The faulty part. ----
    ASSERT_TRUE(WaitFor([&] { return !driving; }, (seconds_ + 60) * 1000));
    driver.stop();

    // ---- The faults stop: what runs comes to its end, the link comes back. ----
    unit_->SetFaults({});
    ASSERT_TRUE(WaitFor([&] { return !transferRunning_; }, 120000))
        << "the last transfer did not end once the faults stopped";
    // The window's events go on while the dial's last change ends.
    dial_->RequestStop();
    ASSERT_TRUE(WaitFor([&] { return dial_->Finished(); }, 30000));
    dial_->Stop();
    ASSERT_TRUE(WaitFor(
        [&] { return w.unit().Idle() && w.UnitConnected && w.lStatus->text() == kConnected; },
        30000))
        << "the link did not come back: " << w.lStatus->text().toStdString();
    EXPECT_TRUE(w.btImposta->isEnabled());
    EXPECT_TRUE(w.btRetract->isEnabled());

    // A burst of rig changes with slow replies: every notification's command
    // takes the place of the one before while it waits, and the rig's last
    // frequency is the last order the unit gets.
    {
        sim::Faults slow;
        slow.delayMs = 60;
        slow.delayMaxMs = 100;
        unit_->SetFaults(slow);
        std::atomic<bool> turned{false};
        std::thread burst([&turned, port = rig_->Port()] {
            for (int khz = 7010; khz <= 7290; khz += 10)
                testing_support::Rigctl(port, {"F", std::to_string(khz * 1000)});
            testing_support::Rigctl(port, {"F", "7123000"});
            turned = true;
        });
        const bool done = WaitFor([&] { return turned.load(); }, 60000);
        burst.join();
        ASSERT_TRUE(done) << "the dial did not turn";
        const Bytes last = TuneArgument(7123);
        const auto lastTune = [&] {
            const std::vector<Bytes> requests = unit_->Requests();
            for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
                if (it->size() >= 3 && (*it)[1] == kCommandTune)
                    return Bytes(it->begin() + 2, it->end() - 1);
            }
            return Bytes{};
        };
        const auto settled = [&] {
            const sim::UnitState state = unit_->State().state;
            return w.unit().Idle() && !state.moving && state.frequencyKhz == 7123;
        };
        EXPECT_TRUE(WaitFor(settled, 20000))
            << "the unit ended on " << unit_->State().state.frequencyKhz << " kHz";
        // Nothing older arrives after it.
        const auto quiet = Clock::now() + std::chrono::milliseconds(1500);
        WaitFor([&] { return Clock::now() > quiet; }, 5000);
        EXPECT_EQ(lastTune(), last) << "an older frequency reached the unit after the newest";
        EXPECT_TRUE(settled());
        unit_->SetFaults({});
    }

    // A clean line sends a file whole.
    const int sentBefore = sent_;
    Transfer(w);
    EXPECT_EQ(sent_, sentBefore + 1) << "a transfer on a clean line failed";
    // And a click still moves the elements.
    const std::size_t tunes = unit_->RequestCount(kCommandTune);
    w.Image14Click();
    EXPECT_TRUE(WaitFor([&] { return w.unit().Idle(); }));
    EXPECT_GE(unit_->RequestCount(kCommandTune), tunes + 1);
    heartbeat.Stop();
    heartbeat_ = nullptr;

    // ---- What the soak went through. ----
    std::ostringstream summary;
    summary << "soak: seed " << seed_ << ", " << seconds_ << " s of faults, phases";
    for (const auto& [name, count] : phases)
        summary << " " << name << "=" << count;
    summary << "\nsoak: clicks posted " << clicks << "; unit received tune "
            << unit_->RequestCount(kCommandTune) << ", retract "
            << unit_->RequestCount(kCommandRetract) << ", status "
            << unit_->RequestCount(kCommandStatus) << ", block writes "
            << unit_->RequestCount(kCommandWriteBlock) << "\nsoak: rig changes " << dial_->Changes()
            << ", notifications " << notifications << "\nsoak: transfers " << transfers_
            << ": sent " << sent_ << ", not sent " << notSent_
            << "\nsoak: clicks while an exchange "
            << "waited " << clicksWhileWaiting << ", during transfers " << clicksDuringTransfers
            << "; longest event-loop gap " << heartbeat.MaxGapMs() << " ms over "
            << heartbeat.Ticks() << " ticks; poll ticks " << pollTicks << ", longest "
            << longestTickMs << " ms\n";
    std::cout << summary.str();
    RecordProperty("summary", summary.str());

    EXPECT_LT(heartbeat.MaxGapMs(), kMaxGapMs) << "the window stalled";
    EXPECT_GE(transfers_, 2);
    EXPECT_GT(notifications, 0) << "no tracking notification reached the window";
    EXPECT_GT(clicks, 0);
    EXPECT_GT(clicksWhileWaiting, 0) << "no click came while an exchange waited";
    // Every message box belongs to a failed transfer.
    EXPECT_EQ(prompts_->messages.size(), static_cast<std::size_t>(notSent_));
}

} // namespace
} // namespace koravel::test
