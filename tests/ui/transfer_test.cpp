// Sending set-up files from the window to a simulated unit: the dialog, the
// transferring state and its progress, the outcomes the operator sees, the
// unit's EEPROM byte for byte, and the command-line mode of the start-up.
#include "window_fixture.h"

#include "ui/colors.h"
#include "ui/elided_label.h"
#include "ui/looks.h"

#include "protocol/commands.h"
#include "support/setup_image.h"
#include "ui/image_box.h"
#include "unit/unit.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace koravel::test {
namespace {

using testing_support::ExpectedImage;
using testing_support::ReadWholeFile;
using testing_support::SetupDataFile;

const QString kSent = QStringLiteral("Trasmissione dati eseguita correttamente.");
const QString kNotSent = QStringLiteral("Trasmissione dati non eseguita.");

// Answers the open dialog as an operator would, and records what it offered.
struct DialogAnswers {
    bool accept = true;
    QString choose;                  // typed into the dialog; empty: take what it offers
    std::function<void()> whileOpen; // runs while the dialog is up
    std::vector<QStringList> offered;
    QString title, filter, suffix;
    QFileDialog::FileMode mode = QFileDialog::ExistingFile;
    std::vector<std::pair<QString, QString>> messages; // title, text
    std::function<void()> onMessage;
    std::vector<std::pair<QString, QString>> questions; // title, text
    bool answerYes = false;
};

class AnsweringPrompter final : public Prompter {
public:
    explicit AnsweringPrompter(std::shared_ptr<DialogAnswers> answers)
        : answers_(std::move(answers)) {}
    void Message(const QString& title, const QString& text) override {
        answers_->messages.emplace_back(title, text);
        if (answers_->onMessage)
            answers_->onMessage();
    }
    bool Ask(const QString& title, const QString& text) override {
        answers_->questions.emplace_back(title, text);
        return answers_->answerYes;
    }
    bool ChooseFile(QFileDialog& dialog) override {
        answers_->offered.push_back(dialog.selectedFiles());
        answers_->title = dialog.windowTitle();
        answers_->filter = dialog.nameFilters().join(QLatin1Char(';'));
        answers_->suffix = dialog.defaultSuffix();
        answers_->mode = dialog.fileMode();
        if (answers_->whileOpen)
            answers_->whileOpen();
        if (!answers_->accept)
            return false;
        if (!answers_->choose.isEmpty())
            dialog.selectFile(answers_->choose);
        return true;
    }

private:
    std::shared_ptr<DialogAnswers> answers_;
};

// What the window looked like whenever its events ran during a send.
struct Seen {
    bool logShown = false;
    bool setupEnabled = true;
    bool pollRunning = true;
    bool progressShown = false;
    int progress = -1;
};

// Records the values that the progress bar painted.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QProgressBar* bar) : bar_(bar) { bar_->installEventFilter(this); }
    ~PaintWatch() override { bar_->removeEventFilter(this); }
    PaintWatch(const PaintWatch&) = delete;
    PaintWatch& operator=(const PaintWatch&) = delete;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted.insert(bar_->value());
        return false;
    }
    std::set<int> painted;

private:
    QProgressBar* bar_;
};

class TransferTest : public WindowTest {
protected:
    // A unit of the given firmware on COM1 and the window connected to it,
    // with its timers stopped. With polled set, two poll ticks have run, so
    // that FirmwareVersion holds the unit's and a status request is pending.
    TfmMain& Connect(std::uint8_t major, std::uint8_t minor, bool polled = true) {
        sim::UnitConfig config;
        config.fwMajor = major;
        config.fwMinor = minor;
        unit_ = &StartSim(1, config);
        TfmMain& w = NewWindow(false);
        w.FormActivate();
        EXPECT_EQ(w.PortNumber, 1);
        if (polled) {
            TickAndWait(*unit_);
            TickAndWait(*unit_); // decodes the first reply; the second waits unread
            EXPECT_EQ(w.FirmwareVersion, major * 256 + minor);
        }
        return w;
    }

    TfmMain& NewWindow(bool keepTimers) {
        // The old window goes first, and its port with it.
        window_.reset();
        TfmMain& w = MakeWindow(keepTimers);
        w.SetPrompter(std::make_unique<AnsweringPrompter>(answers_));
        w.show();
        return w;
    }

    TfmMain::SendOutcome Send(TfmMain& w, const std::string& path) {
        answers_->choose = QString::fromLocal8Bit(path.c_str());
        return w.btInviaClick();
    }

    // Idle: log hidden, set-up button enabled, poll running.
    static void ExpectIdle(const TfmMain& w) {
        EXPECT_TRUE(w.mmLog->isHidden());
        EXPECT_TRUE(w.pbTransfer->isHidden());
        EXPECT_TRUE(w.btImposta->isEnabled());
        EXPECT_TRUE(w.tmPoll->isActive());
    }

    // The requests the unit saw from index `from` on.
    std::vector<Bytes> RequestsFrom(std::size_t from) const {
        const auto all = unit_->Requests();
        return from < all.size()
                   ? std::vector<Bytes>(all.begin() + static_cast<long>(from), all.end())
                   : std::vector<Bytes>{};
    }

    // After a send that must have put nothing on the line: the next request
    // the unit sees is the poll's.
    void ExpectNothingSentSince(std::size_t from) {
        EXPECT_EQ(unit_->RequestCount(4), 0u);
        TickAndWait(*unit_, 0);
        const auto since = RequestsFrom(from);
        ASSERT_EQ(since.size(), 1u) << "only the poll's status request";
        EXPECT_EQ(since[0][1], 1);
    }

    std::string TempFile(const std::string& name, const std::string& text) const {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::string WithValue(const std::string& section, const std::string& key,
                          const std::string& value) const {
        std::string text = ReadWholeFile(SetupDataFile("kv100-fw113.koravel"));
        const std::size_t at = text.find("[" + section + "]");
        const std::size_t line = text.find(key + "=", at);
        const std::size_t end = text.find("\r\n", line);
        text.replace(line, end - line, key + "=" + value);
        return text;
    }

    void SendCompleteFile(const char* name, std::uint8_t minor);

    sim::Simulator* unit_ = nullptr;
    std::shared_ptr<DialogAnswers> answers_ = std::make_shared<DialogAnswers>();
};

std::vector<int> Blocks(const std::map<int, Bytes>& image) {
    std::vector<int> blocks;
    for (const auto& [block, bytes] : image)
        blocks.push_back(block);
    return blocks;
}

// The block numbers of the writes among requests, in order.
std::vector<int> WrittenBlocks(const std::vector<Bytes>& requests) {
    std::vector<int> blocks;
    for (const Bytes& r : requests) {
        if (r.size() >= 4 && r[1] == 4)
            blocks.push_back(r[2] | (r[3] << 8));
    }
    return blocks;
}

std::vector<int> AllBlocks() {
    std::vector<int> blocks = {0, 1};
    for (int n = 3; n <= 35; ++n)
        blocks.push_back(n);
    for (int n = 37; n <= 69; ++n)
        blocks.push_back(n);
    return blocks;
}

// ---- Complete files to both kinds of unit -----------------------------------

// A complete file sent to a unit of firmware 1.minor that the poll has
// decoded: the bytes in the EEPROM, the frames on the line, the window
// during and after the send.
void TransferTest::SendCompleteFile(const char* name, std::uint8_t minor) {
    const std::string path = SetupDataFile(name);
    TfmMain& w = Connect(1, minor);
    answers_->answerYes = true; // asked only when the file is for the other family
    w.lResult->setText(QStringLiteral("before"));
    const std::size_t before = unit_->Requests().size();

    // Look at the window from inside the send whenever the unit receives a
    // block: the look is posted to the window's thread and runs among its
    // events. A second send asked for meanwhile is turned away. The replies
    // come a little late, as on a real line, so that the window's events run
    // between the blocks (replies that are there the moment a block is
    // written are taken one after the other, with no turn of the loop).
    sim::Faults late;
    late.delayMs = 2;
    unit_->SetFaults(late);
    std::vector<Seen> seen;
    std::optional<TfmMain::SendOutcome> nested;
    bool sending = false;
    const auto look = [&](int block) {
        if (!sending)
            return;
        seen.push_back({w.mmLog->isVisible(), w.btImposta->isEnabled(), w.tmPoll->isActive(),
                        w.pbTransfer->isVisible(), w.pbTransfer->value()});
        if (!nested && block >= 10)
            nested = w.btInviaClick();
    };
    unit_->SetResponder([&w, &look](const Bytes& r) -> std::optional<Bytes> {
        if (r.size() >= 4 && r[1] == kCommandWriteBlock) {
            const int block = r[2] | (r[3] << 8);
            QMetaObject::invokeMethod(
                &w, [&look, block] { look(block); }, Qt::QueuedConnection);
        }
        return std::nullopt;
    });
    PaintWatch paints(w.pbTransfer);
    sending = true;
    const TfmMain::SendOutcome outcome = Send(w, path);
    sending = false;
    unit_->SetResponder(nullptr);
    QCoreApplication::sendPostedEvents(&w, QEvent::MetaCall); // looks that came too late

    EXPECT_EQ(outcome, TfmMain::SendOutcome::Sent);
    const int firmware = 256 + minor;
    std::string error;
    const auto expected = ExpectedImage(path, firmware, &error);
    ASSERT_EQ(expected.size(), 68u) << error;
    EXPECT_EQ(unit_->Eeprom(), expected);
    EXPECT_EQ(unit_->Eeprom().at(0).size(), firmware >= 269 ? 108u : 47u);

    // On the line: the preparing status request (no reply flag), then the
    // 68 writes in block order, each asking for a reply.
    const auto sent = RequestsFrom(before);
    ASSERT_EQ(sent.size(), 69u);
    EXPECT_EQ(sent[0][1], 1);
    EXPECT_EQ(sent[0][0] & 0x80, 0);
    EXPECT_EQ(WrittenBlocks(sent), AllBlocks());
    for (std::size_t i = 1; i < sent.size(); ++i)
        EXPECT_NE(sent[i][0] & 0x80, 0);
    EXPECT_TRUE(w.unit().ExchangeEnabled());

    EXPECT_EQ(w.lResult->text(), kSent);
    EXPECT_TRUE(answers_->messages.empty());
    const bool fileForNewUnits = std::string(name) == "kv100-fw113.koravel";
    EXPECT_EQ(answers_->questions.size(), fileForNewUnits == (firmware >= 269) ? 0u : 1u);
    // One line per block: its number, its section and what came of it.
    const QStringList log = w.mmLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(log.size(), 68);
    EXPECT_EQ(log.first(), "blocco 0 (Factory): scritto");
    EXPECT_EQ(log.last(), "blocco 69 (FactoryTune33): scritto");
    EXPECT_EQ(w.pbTransfer->value(), 68);
    EXPECT_EQ(w.pbTransfer->text(), "68 di 68");
    ExpectIdle(w);
    EXPECT_EQ(w.FirmwareVersion, firmware);

    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.logShown);
        EXPECT_FALSE(s.setupEnabled);
        EXPECT_FALSE(s.pollRunning);
        EXPECT_TRUE(s.progressShown);
    }
    EXPECT_LT(seen.front().progress, seen.back().progress);
    ASSERT_TRUE(nested.has_value());
    EXPECT_EQ(*nested, TfmMain::SendOutcome::Busy);
    EXPECT_EQ(answers_->offered.size(), 1u);
    // The bar was painted while the blocks went out, not only at the end.
    EXPECT_GE(std::count_if(paints.painted.begin(), paints.painted.end(),
                            [](int v) { return v > 0 && v < 68; }),
              3);
}

TEST_F(TransferTest, FileForAnOldUnitToAnOldUnit) {
    SendCompleteFile("kv100-fw112.koravel", 12);
}
TEST_F(TransferTest, FileForAnOldUnitToANewUnit) {
    SendCompleteFile("kv100-fw112.koravel", 13);
}
TEST_F(TransferTest, FileForANewUnitToAnOldUnit) {
    SendCompleteFile("kv100-fw113.koravel", 12);
}
TEST_F(TransferTest, FileForANewUnitToANewUnit) {
    SendCompleteFile("kv100-fw113.koravel", 13);
}

// ---- Outcomes ---------------------------------------------------------------

TEST_F(TransferTest, AFailedBlockStopsTheSendAndSaysSo) {
    TfmMain& w = Connect(1, 13);
    sim::Faults faults;
    faults.failBlocks = {5};
    unit_->SetFaults(faults);
    w.lResult->setText(QStringLiteral("before"));
    const std::size_t before = unit_->Requests().size();

    // The box comes while the transfer is still on view, before the label.
    QString labelAtMessage;
    bool logShownAtMessage = false;
    answers_->onMessage = [&] {
        labelAtMessage = w.lResult->text();
        logShownAtMessage = w.mmLog->isVisible();
    };
    EXPECT_EQ(Send(w, SetupDataFile("kv100-fw113.koravel")), TfmMain::SendOutcome::NotSent);

    // The box names the block and says what the unit now holds.
    ASSERT_EQ(answers_->messages.size(), 1u);
    EXPECT_EQ(answers_->messages[0].first, "Koravel");
    const QString said = answers_->messages[0].second;
    EXPECT_TRUE(said.startsWith("Errore in invio dati. Prego riprovare\n\n")) << said.toStdString();
    EXPECT_NE(said.indexOf("blocco 5 (Useroffs3) non è stato scritto"), -1) << said.toStdString();
    EXPECT_NE(said.indexOf("4 blocchi della nuova impostazione"), -1) << said.toStdString();
    EXPECT_NE(said.indexOf("Inviare di nuovo il file la completa"), -1) << said.toStdString();
    EXPECT_EQ(labelAtMessage, "before");
    EXPECT_TRUE(logShownAtMessage);
    EXPECT_EQ(w.lResult->text(), kNotSent);
    // The outcome stays in the status bar, in red.
    EXPECT_NE(w.lNotice->fullText().indexOf("blocco 5 (Useroffs3)"), -1);
    EXPECT_EQ(TextColorOf(w.lNotice), colors::clAlarmText);

    EXPECT_EQ(Blocks(unit_->Eeprom()), (std::vector<int>{0, 1, 3, 4}));
    EXPECT_EQ(WrittenBlocks(RequestsFrom(before)), (std::vector<int>{0, 1, 3, 4, 5}));
    const QStringList log = w.mmLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(log.size(), 5);
    EXPECT_EQ(log[2], "blocco 3 (Useroffs1): scritto");
    EXPECT_TRUE(log[4].startsWith("blocco 5 (Useroffs3): fallito: ")) << log[4].toStdString();
    EXPECT_EQ(w.pbTransfer->value(), 4);
    ExpectIdle(w);
}

// The set-up files' open dialog, cancelled.
TEST_F(TransferTest, CancellingTheDialogLeavesEverythingAsItWas) {
    TfmMain& w = Connect(1, 13);
    w.lResult->setText(QStringLiteral("before"));
    w.mmLog->setPlainText(QStringLiteral("earlier lines"));
    w.btImposta->setEnabled(false);
    const std::size_t before = unit_->Requests().size();

    answers_->accept = false;
    EXPECT_EQ(Send(w, SetupDataFile("kv100-fw113.koravel")), TfmMain::SendOutcome::Cancelled);

    EXPECT_EQ(answers_->offered.size(), 1u);
    EXPECT_EQ(answers_->title, "Save setup data...");
    EXPECT_EQ(answers_->filter, "Koravel setup data (*.koravel)");
    EXPECT_EQ(answers_->suffix, "koravel");
    EXPECT_EQ(answers_->mode, QFileDialog::AnyFile); // a file that is not there may be named
    EXPECT_TRUE(answers_->messages.empty());
    EXPECT_EQ(w.lResult->text(), "before");
    EXPECT_EQ(w.mmLog->toPlainText(), "earlier lines");
    EXPECT_TRUE(w.mmLog->isHidden());
    EXPECT_FALSE(w.btImposta->isEnabled());
    EXPECT_FALSE(w.tmPoll->isActive());
    EXPECT_FALSE(w.unit().ExchangeEnabled());
    ExpectNothingSentSince(before);
}

TEST_F(TransferTest, SectionsInAnotherOrderAndKeysInAnotherCaseSendTheSameBytes) {
    // Sections reversed, section names shouted, keys whispered.
    const std::string original = ReadWholeFile(SetupDataFile("kv100-fw113.koravel"));
    std::vector<std::string> sections;
    for (std::size_t at = 0; at < original.size();) {
        std::size_t next = original.find("\r\n[", at);
        next = next == std::string::npos ? original.size() : next + 2;
        sections.push_back(original.substr(at, next - at));
        at = next;
    }
    ASSERT_EQ(sections.size(), 68u);
    std::string shuffled;
    for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
        std::string s = *it;
        bool inKey = false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if (i == 0 || s[i - 1] == '\n')
                inKey = s[i] != '[';
            if (s[i] == '=')
                inKey = false;
            const bool inName = s[0] == '[' && i < s.find(']');
            if (inName)
                s[i] = static_cast<char>(std::toupper(c));
            else if (inKey)
                s[i] = static_cast<char>(std::tolower(c));
        }
        shuffled += s;
    }
    ASSERT_NE(shuffled.find("[FACTORYTUNE33]\r\ntune1="), std::string::npos);
    ASSERT_NE(shuffled.find("rtx_addrt="), std::string::npos);
    const std::string path = TempFile("shuffled.koravel", shuffled);

    TfmMain& w = Connect(1, 13);
    const std::size_t before = unit_->Requests().size();
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::Sent);
    EXPECT_EQ(unit_->Eeprom(), ExpectedImage(SetupDataFile("kv100-fw113.koravel"), 269));
    EXPECT_EQ(WrittenBlocks(RequestsFrom(before)), AllBlocks());
    EXPECT_EQ(w.lResult->text(), kSent);
}

TEST_F(TransferTest, AValueThatIsNoIntegerShowsTheErrorAndTheWindowReturnsToIdle) {
    const std::string path = TempFile("bad.koravel", WithValue("Useroffs2", "offset3", "12a"));
    TfmMain& w = Connect(1, 13);
    w.lResult->setText(QStringLiteral("before"));
    w.btImposta->setEnabled(false); // idle enables it whatever it was

    bool idleAtMessage = false;
    answers_->onMessage = [&] { idleAtMessage = w.mmLog->isHidden() && w.tmPoll->isActive(); };
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::ConversionError);

    ASSERT_EQ(answers_->messages.size(), 1u);
    EXPECT_EQ(answers_->messages[0].first, "Koravel");
    EXPECT_EQ(answers_->messages[0].second, "'12a' is not a valid integer value");
    EXPECT_TRUE(idleAtMessage);
    EXPECT_EQ(w.lResult->text(), "before");
    ExpectIdle(w);
    // Every block is built before the first goes out: nothing is written.
    EXPECT_TRUE(unit_->Eeprom().empty());
    EXPECT_EQ(unit_->RequestCount(4), 0u);
}

TEST_F(TransferTest, FilesThatCannotBeSentPutNothingOnTheLineAndSaySo) {
    TfmMain& w = Connect(1, 13);
    w.mmLog->setPlainText(QStringLiteral("earlier lines"));
    const std::string missing = dir_ + "/no-such-file.koravel";
    const std::string folder = dir_ + "/folder.koravel";
    std::filesystem::create_directory(folder);
    const std::string noSetup =
        TempFile("settings.koravel", "[General]\r\nSerialport=1\r\n[Useroffs34]\r\noffset1=7\r\n");
    const struct {
        std::string path;
        const char* says;
    } cases[] = {
        {missing, "non può essere letto: No such file or directory"},
        {folder, "non può essere letto"},
        {noSetup, "non contiene dati di impostazione"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        answers_->messages.clear();
        w.lResult->setText(QStringLiteral("before"));
        const std::size_t before = unit_->Requests().size();

        EXPECT_EQ(Send(w, c.path), TfmMain::SendOutcome::NotSent);
        ASSERT_EQ(answers_->messages.size(), 1u);
        EXPECT_EQ(answers_->messages[0].first, "Koravel");
        const std::string text = answers_->messages[0].second.toStdString();
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_NE(text.find(c.path), std::string::npos) << text;
        EXPECT_EQ(w.lResult->text(), kNotSent);
        // The window never left idle: the log untouched, the poll as it was.
        EXPECT_EQ(w.mmLog->toPlainText(), "earlier lines");
        EXPECT_TRUE(w.mmLog->isHidden());
        EXPECT_TRUE(w.btImposta->isEnabled());
        EXPECT_FALSE(w.tmPoll->isActive());
        EXPECT_FALSE(w.unit().ExchangeEnabled());
        ExpectNothingSentSince(before);
    }
}

// ---- The layouts: the unit's own firmware version or nothing ----------------

TEST_F(TransferTest, LayoutsFollowThePreparingReplyElseThePollSinceThePortOpenedElseNothingGoes) {
    const std::string path = SetupDataFile("kv100-fw113.koravel");
    const auto newImage = ExpectedImage(path, 269);
    auto dropStatus = [](const Bytes& request) -> std::optional<Bytes> {
        if (request[1] == 1)
            return Bytes{}; // no status reply ever comes through
        return std::nullopt;
    };

    // The poll has decoded nothing yet: the preparing reply tells the version.
    TfmMain& w = Connect(1, 13, false);
    ASSERT_EQ(w.FirmwareVersion, 0);
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::Sent);
    EXPECT_EQ(unit_->Eeprom(), newImage);
    EXPECT_EQ(unit_->Eeprom().at(0).size(), 108u);
    EXPECT_EQ(unit_->Eeprom().at(1).size(), 42u);
    EXPECT_EQ(w.FirmwareVersion, 0);

    // No status reply comes through and the poll never decoded one: nothing
    // is written, and the operator is told.
    unit_->SetResponder(dropStatus);
    answers_->messages.clear();
    w.lResult->setText(QStringLiteral("before"));
    std::size_t writes = unit_->RequestCount(4);
    std::size_t before = unit_->Requests().size();
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::NotSent);
    ASSERT_EQ(answers_->messages.size(), 1u);
    EXPECT_EQ(answers_->messages[0].first, "Koravel");
    EXPECT_EQ(
        answers_->messages[0].second,
        "La centralina non ha comunicato la versione del firmware; non è stato inviato nulla.");
    EXPECT_EQ(w.lResult->text(), kNotSent);
    EXPECT_EQ(unit_->RequestCount(4), writes);
    // The preparing request was made three times, as one exchange.
    const auto asked = RequestsFrom(before);
    ASSERT_EQ(asked.size(), 3u);
    for (const Bytes& r : asked)
        EXPECT_EQ(r, asked[0]);
    ExpectIdle(w);

    // The poll decoded the version: it stands in for the lost preparing reply.
    unit_->SetResponder(nullptr);
    TickAndWait(*unit_);
    TickAndWait(*unit_);
    ASSERT_EQ(w.FirmwareVersion, 269);
    unit_->SetResponder(dropStatus);
    writes = unit_->RequestCount(4);
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::Sent);
    EXPECT_EQ(unit_->RequestCount(4), writes + 68);
    EXPECT_EQ(unit_->Eeprom(), newImage);

    // A port opened again may lead to another unit: what the poll decoded
    // before no longer counts.
    w.COM1Click();
    EXPECT_EQ(w.FirmwareVersion, 0);
    answers_->messages.clear();
    writes = unit_->RequestCount(4);
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::NotSent);
    ASSERT_EQ(answers_->messages.size(), 1u);
    EXPECT_EQ(
        answers_->messages[0].second,
        "La centralina non ha comunicato la versione del firmware; non è stato inviato nulla.");
    EXPECT_EQ(w.lResult->text(), kNotSent);
    EXPECT_EQ(unit_->RequestCount(4), writes);
    ExpectIdle(w);
}

TEST_F(TransferTest, AFileNotFitAsItStandsGoesOnlyWhenTheOperatorSaysYes) {
    const std::string path = SetupDataFile("kv100-fw112.koravel");
    TfmMain& w = Connect(1, 13);
    w.lResult->setText(QStringLiteral("before"));

    // No: nothing reaches the EEPROM.
    answers_->answerYes = false;
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::NotSent);
    ASSERT_EQ(answers_->questions.size(), 1u);
    EXPECT_EQ(answers_->questions[0].first, "Koravel");
    const std::string asked = answers_->questions[0].second.toStdString();
    for (const char* named :
         {"precedente al 1.13", "firmware 1.13", "max_estensio1 in [Factory]", "civ_mode",
          "civ_proto in [User]", "min_estensio", "rtx_addrT", "Inviare comunque il file?"})
        EXPECT_NE(asked.find(named), std::string::npos) << named << " in " << asked;
    EXPECT_TRUE(answers_->messages.empty());
    EXPECT_EQ(w.lResult->text(), kNotSent);
    EXPECT_EQ(unit_->RequestCount(4), 0u);
    ExpectIdle(w);

    // Yes: the file goes in the unit's own layouts.
    answers_->answerYes = true;
    EXPECT_EQ(Send(w, path), TfmMain::SendOutcome::Sent);
    EXPECT_EQ(answers_->questions.size(), 2u);
    EXPECT_EQ(unit_->Eeprom(), ExpectedImage(path, 269));
    EXPECT_EQ(w.lResult->text(), kSent);
}

// ---- Clicks during a send ----------------------------------------------------

// The operator acts while a file goes out. First, band buttons are clicked
// while a block waits for its answer (its first write is lost, so the wait
// lasts its whole time-out): no click takes the block's place or stretches
// its wait; the block is written again, the same frame, once its time-out
// has run; the newest click goes out after the block's exchange and before
// the next block; the older clicks never reach the line. Then the window is
// closed (by the operator, or by a signal): the application quits, which
// ends every event loop at once, yet the send runs on to its end, the send
// handler returns its outcome, and only then does the application's loop
// return.
TEST_F(TransferTest, ClicksAndACloseDuringASendLeaveItWhole) {
    const std::string path = SetupDataFile("kv100-fw113.koravel");
    TfmMain& w = Connect(1, 13);
    sim::Faults late; // the window's events run between the blocks (see above)
    late.delayMs = 2;
    unit_->SetFaults(late);
    std::atomic<int> block3Writes{0};
    unit_->SetResponder([&](const Bytes& r) -> std::optional<Bytes> {
        if (r[1] == kCommandWriteBlock && r[2] == 10)
            QMetaObject::invokeMethod(
                &w, [&w] { w.close(); }, Qt::QueuedConnection);
        if (r[1] == kCommandWriteBlock && r[2] == 3 && ++block3Writes == 1)
            return Bytes{};
        return std::nullopt;
    });
    const std::pair<TImage*, std::uint16_t> bands[] = {
        {w.Image12, 7050}, {w.Image14, 14200}, {w.Image5, 28500}};
    // Far more clicks than one time-out holds: a wait that clicks stretch
    // would run into this bound instead of ending.
    constexpr int kMostClicks = 400;
    int clicks = 0;
    std::uint16_t newest = 0;
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (block3Writes.load() != 1 || clicks >= kMostClicks)
            return;
        const std::uint8_t waiting = w.unit().WaitingSequence();
        MouseClick(bands[clicks % 3].first);
        newest = bands[clicks++ % 3].second;
        EXPECT_EQ(w.unit().WaitingSequence(), waiting) << "the click took the block's place";
    });
    clicker.start(50);
    const std::size_t before = unit_->Requests().size();
    std::optional<TfmMain::SendOutcome> outcome;
    QTimer::singleShot(0, &w, [&] { outcome = Send(w, path); });
    // A quit that never comes fails the test instead of hanging it.
    QTimer::singleShot(120000, &w, [] { QCoreApplication::exit(2); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    clicker.stop();

    ASSERT_TRUE(outcome.has_value()) << "the application quit before the send handler returned";
    EXPECT_EQ(*outcome, TfmMain::SendOutcome::Sent);
    const auto image = unit_->Eeprom();
    EXPECT_EQ(image.size(), 68u) << "blocks written";
    EXPECT_TRUE(image == ExpectedImage(path, 269));
    EXPECT_EQ(w.lResult->text(), kSent);
    EXPECT_FALSE(w.isVisible());
    EXPECT_NE(ReadIni().find("Serialport=1"), std::string::npos)
        << "settings not saved at the close";
    EXPECT_GE(clicks, 2) << "too few clicks came during the wait to show anything";
    EXPECT_LT(clicks, kMostClicks) << "the block's wait went on while clicks kept coming";

    // On the line: block 3 twice, the newest click (asked again only if the
    // unit was slow), block 4; no other click at all.
    const auto sent = RequestsFrom(before);
    const auto isBlock = [](const Bytes& r, int block) {
        return r.size() >= 4 && r[1] == kCommandWriteBlock && r[2] == block && r[3] == 0;
    };
    const auto first =
        std::find_if(sent.begin(), sent.end(), [&](const Bytes& r) { return isBlock(r, 3); });
    ASSERT_LT(first + 2, sent.end());
    EXPECT_EQ(first[1], first[0]) << "block 3's second attempt";
    auto next = first + 2;
    ASSERT_EQ((*next)[1], kCommandTune);
    EXPECT_EQ(Bytes(next->begin() + 2, next->end() - 1), TuneArgument(newest));
    while (next != sent.end() && *next == first[2])
        ++next;
    ASSERT_NE(next, sent.end());
    EXPECT_TRUE(isBlock(*next, 4));
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const Bytes& r) { return r.size() >= 3 && r[1] == kCommandTune; }),
              next - (first + 2));
}

// ---- Command-line mode ------------------------------------------------------

class CommandLineTest : public TransferTest {
protected:
    // A window started with arg, its timers running as in the program.
    TfmMain& Started(const std::string& arg) {
        TfmMain& w = NewWindow(true);
        w.CommandLineFile = QByteArray::fromStdString(arg);
        w.CommandLineCloseDelayMs = 50; // the outcome's moment on the screen
        answers_->choose.clear();       // the operator confirms what is offered
        return w;
    }
    bool SettingsSaved() const { return std::filesystem::exists(IniPath()); }
    // The outcome stays a moment, then the window closes by itself.
    static bool Closes(TfmMain& w) {
        return WaitFor([&] { return !w.isVisible(); });
    }
};

TEST_F(CommandLineTest, OffersTheFileSendsItAndCloses) {
    // Both files as an editor that writes a UTF-8 byte-order mark saves them.
    const std::string bom = "\xEF\xBB\xBF";
    const std::string settings =
        bom + "[General]\r\nSerialport=2\r\n\r\n[OmniRig]\r\nRig1=0\r\nRig2=0\r\n";
    WriteIni(settings);
    sim::UnitConfig config;
    unit_ = &StartSim(2, config); // firmware 1.13
    const std::string original = SetupDataFile("kv100-fw113.koravel");
    // A name that is not valid UTF-8 (a Latin-1 "é"), relative to the
    // working folder, as typed in a shell.
    const std::string path = TempFile("bom-\xE9.koravel", bom + ReadWholeFile(original));
    const std::string relative =
        std::filesystem::path(path).lexically_relative(std::filesystem::current_path()).string();
    TfmMain& w = Started(relative);

    // The poll runs while the dialog is up; the operator confirms once the
    // unit's version is known.
    answers_->whileOpen = [&] { EXPECT_TRUE(WaitFor([&] { return w.FirmwareVersion == 269; })); };
    w.FormActivate();

    ASSERT_EQ(answers_->offered.size(), 1u);
    EXPECT_EQ(answers_->offered[0],
              QStringList{QFile::decodeName(QByteArray::fromStdString(path))});
    // Every block, the Factory block under the mark included.
    EXPECT_EQ(unit_->Eeprom(), ExpectedImage(original, 269));
    EXPECT_EQ(unit_->Eeprom().size(), 68u);
    EXPECT_EQ(w.lResult->text(), kSent);
    EXPECT_TRUE(answers_->messages.empty()) << "no box to click on success";
    EXPECT_TRUE(w.isVisible()) << "the outcome is shown first";
    EXPECT_NE(w.lNotice->fullText().indexOf("68 blocchi scritti"), -1);
    EXPECT_TRUE(Closes(w));
    EXPECT_EQ(w.ExitStatus, 0);
    ASSERT_TRUE(SettingsSaved());
    EXPECT_EQ(ReadIni(), settings); // the same values, the mark kept
}

TEST_F(CommandLineTest, ClosesAfterACancelOrAnUnusableFileButNotAfterAConversionError) {
    unit_ = &StartSim(1);
    {
        SCOPED_TRACE("cancel");
        TfmMain& w = Started(SetupDataFile("kv100-fw113.koravel"));
        answers_->accept = false;
        w.FormActivate();
        EXPECT_EQ(answers_->offered.size(), 1u);
        EXPECT_TRUE(answers_->messages.empty());
        EXPECT_TRUE(Closes(w));
        EXPECT_EQ(w.ExitStatus, 1) << "nothing sent";
        EXPECT_TRUE(SettingsSaved());
        EXPECT_EQ(unit_->RequestCount(4), 0u);
    }
    std::filesystem::remove(IniPath());
    {
        SCOPED_TRACE("missing file");
        TfmMain& w = Started(dir_ + "/mistyped.koravel");
        answers_->accept = true;
        w.FormActivate();
        ASSERT_EQ(answers_->messages.size(), 1u);
        EXPECT_NE(answers_->messages[0].second.indexOf("non può essere letto"), -1);
        EXPECT_EQ(w.lResult->text(), kNotSent);
        EXPECT_TRUE(Closes(w));
        EXPECT_EQ(w.ExitStatus, 1);
        EXPECT_TRUE(SettingsSaved());
        EXPECT_EQ(unit_->RequestCount(4), 0u);
    }
    std::filesystem::remove(IniPath());
    answers_->messages.clear();
    {
        SCOPED_TRACE("conversion error");
        const std::string bad = TempFile("bad.koravel", WithValue("Factory", "mot_accel", "ten"));
        TfmMain& w = Started(bad);
        w.FormActivate();
        ASSERT_EQ(answers_->messages.size(), 1u);
        EXPECT_EQ(answers_->messages[0].second, "'ten' is not a valid integer value");
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.ExitStatus, 1);
        EXPECT_FALSE(SettingsSaved());
        EXPECT_EQ(unit_->RequestCount(4), 0u); // block 0 itself did not convert
        ExpectIdle(w);
    }
}

} // namespace
} // namespace koravel::test
