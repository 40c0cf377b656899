// A fixture that runs the real window against the in-process simulator: a
// fresh config folder per test, the window's timers stopped so that tests
// drive the ticks themselves (its unit, driven by the event loop, keeps its
// own time), and a prompter that records message boxes instead of showing
// them.
#pragma once

#include "protocol/bytes.h"
#include "sim/simulator.h"
#include "ui/dialogs.h"
#include "ui/koravelu.h"

#include <gtest/gtest.h>

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace koravel::test {

struct Prompts {
    std::vector<std::pair<QString, QString>> messages;  // title, text
    std::vector<std::pair<QString, QString>> questions; // title, text
    bool answerYes = false;
    int fileDialogs = 0;
    bool acceptFile = false;
};

class RecordingPrompter final : public Prompter {
public:
    explicit RecordingPrompter(std::shared_ptr<Prompts> prompts) : prompts_(std::move(prompts)) {}
    void Message(const QString& title, const QString& text) override {
        prompts_->messages.emplace_back(title, text);
    }
    bool Ask(const QString& title, const QString& text) override {
        prompts_->questions.emplace_back(title, text);
        return prompts_->answerYes;
    }
    bool ChooseFile(QFileDialog&) override {
        ++prompts_->fileDialogs;
        return prompts_->acceptFile;
    }

private:
    std::shared_ptr<Prompts> prompts_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A simulated unit linked as ports/com<port> in the test's config folder.
    sim::Simulator& StartSim(int port = 1, const sim::UnitConfig& unit = {});
    // ports/com<port> linked to a device that is not there (an unplugged
    // adapter), so that the port cannot open whatever the machine has.
    void Unplugged(int port) const;
    // The window, its timers stopped unless asked otherwise.
    TfmMain& MakeWindow(bool keepTimers = false);

    std::string IniPath() const;
    void WriteIni(const std::string& text) const;
    std::string ReadIni() const;

    // Pumps the window's events until cond holds or the time is up.
    static bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 10000);
    // Waits until cond holds or the time is up without serving the window's
    // events: bytes that arrive stay at the port, unread by the unit.
    static bool WaitQuietly(const std::function<bool()>& cond, int timeoutMs = 10000);
    // One poll tick, then the wait until the unit has seen its request and
    // at least replyBytes bytes of an answer wait on the port, where the next
    // tick reads them. The window's events are not served meanwhile.
    void TickAndWait(sim::Simulator& unit, std::size_t replyBytes = 15);
    // Frames the window's unit has written since the window was made.
    std::size_t FramesWritten() const { return framesWritten_; }
    // Runs action (a click, a tracking step), then serves the window's
    // events until the window's exchanges have ended and the unit has
    // received every frame written meanwhile. The number of frames written:
    // 0 when the action sent nothing.
    std::size_t AndWait(sim::Simulator& unit, const std::function<void()>& action);
    // The request content (checksum included) most recently seen by the unit.
    static Bytes LastRequest(const sim::Simulator& unit);
    // Arguments of every tune command the unit received, in order.
    static std::vector<Bytes> TuneArguments(const sim::Simulator& unit);

    std::string dir_;
    std::shared_ptr<Prompts> prompts_ = std::make_shared<Prompts>();
    std::unique_ptr<TfmMain> window_;
    std::vector<std::unique_ptr<sim::Simulator>> sims_;

private:
    std::size_t framesWritten_ = 0;
};

// A left-button press and release at pos of widget, as a mouse click gives them.
void MouseClick(QWidget* widget, QPoint pos);
inline void MouseClick(QWidget* widget) {
    MouseClick(widget, widget->rect().center());
}

// The wire bytes of a reply frame with the given content (checksum added).
Bytes ReplyFrame(const Bytes& content);

} // namespace koravel::test
