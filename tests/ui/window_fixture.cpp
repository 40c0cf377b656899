#include "window_fixture.h"

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace koravel::test {

void WindowTest::SetUp() {
    char pattern[] = "/tmp/koravel-ui-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("KORAVEL_CONFIG_DIR", dir_.c_str(), 1);
    unsetenv("KORAVEL_TRACE");
}

void WindowTest::TearDown() {
    window_.reset(); // its unit closes the port
    for (auto& unit : sims_)
        unit->Stop();
    sims_.clear();
    unsetenv("KORAVEL_CONFIG_DIR");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

sim::Simulator& WindowTest::StartSim(int port, const sim::UnitConfig& unit) {
    sim::Options options;
    options.port = port;
    options.configDir = dir_;
    options.unit = unit;
    options.pace = false;
    auto simulator = std::make_unique<sim::Simulator>(options);
    std::string error;
    EXPECT_TRUE(simulator->Start(error)) << error;
    sims_.push_back(std::move(simulator));
    return *sims_.back();
}

void WindowTest::Unplugged(int port) const {
    const std::filesystem::path ports = std::filesystem::path(dir_) / "ports";
    std::filesystem::create_directories(ports);
    std::filesystem::create_symlink(std::filesystem::path(dir_) / "absent-device",
                                    ports / ("com" + std::to_string(port)));
}

TfmMain& WindowTest::MakeWindow(bool keepTimers) {
    // One window at a time, as in the program: the old one goes first, so
    // that its teardown does not undo what the new one installs.
    window_.reset();
    window_ = std::make_unique<TfmMain>();
    window_->SetPrompter(std::make_unique<RecordingPrompter>(prompts_));
    // Every frame the unit writes lights the TX lamp first: counted here.
    framesWritten_ = 0;
    unit::Hooks& hooks = window_->unit().hooks;
    hooks.FrameSent = [this, lamp = std::move(hooks.FrameSent)] {
        ++framesWritten_;
        if (lamp)
            lamp();
    };
    if (!keepTimers) {
        window_->tmTimer->stop();
        window_->tmPoll->stop();
    }
    return *window_;
}

std::string WindowTest::IniPath() const {
    return dir_ + "/koravel.ini";
}

void WindowTest::WriteIni(const std::string& text) const {
    std::ofstream out(IniPath(), std::ios::binary);
    out << text;
}

std::string WindowTest::ReadIni() const {
    std::ifstream in(IniPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WindowTest::WaitFor(const std::function<bool()>& cond, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        QCoreApplication::processEvents();
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool WindowTest::WaitQuietly(const std::function<bool()>& cond, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void WindowTest::TickAndWait(sim::Simulator& unit, std::size_t replyBytes) {
    // The tick reads what waits at the port and writes its request; with
    // the window's events left alone, the unit reads nothing more until the
    // next tick, so the answer waits at the port for it.
    const std::size_t before = unit.Requests().size();
    window_->tmPollTimer();
    ASSERT_TRUE(WaitQuietly([&] { return unit.Requests().size() > before; }))
        << "the unit saw no request";
    if (replyBytes > 0) {
        transport::Port& port = window_->unit().Port();
        ASSERT_TRUE(WaitQuietly([&] { return port.InputCount() >= replyBytes; }))
            << "no reply on the port";
    }
}

std::size_t WindowTest::AndWait(sim::Simulator& unit, const std::function<void()>& action) {
    const std::size_t seen = unit.Requests().size();
    const std::size_t written = framesWritten_;
    action();
    EXPECT_TRUE(WaitFor([&] {
        return window_->unit().Idle() && unit.Requests().size() >= seen + framesWritten_ - written;
    })) << "the exchanges did not end, or the unit did not receive the "
        << framesWritten_ - written << " frames written";
    return framesWritten_ - written;
}

Bytes WindowTest::LastRequest(const sim::Simulator& unit) {
    const auto requests = unit.Requests();
    return requests.empty() ? Bytes{} : requests.back();
}

std::vector<Bytes> WindowTest::TuneArguments(const sim::Simulator& unit) {
    std::vector<Bytes> tunes;
    for (const Bytes& request : unit.Requests()) {
        if (request.size() >= 3 && request[1] == kCommandTune)
            tunes.emplace_back(request.begin() + 2, request.end() - 1);
    }
    return tunes;
}

void MouseClick(QWidget* widget, QPoint pos) {
    const QPointF local(pos);
    const QPointF global(widget->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

Bytes ReplyFrame(const Bytes& content) {
    return frame::Encode(content);
}

} // namespace koravel::test
