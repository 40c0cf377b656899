// Sending a set-up file: the send handler with its dialog, the window's
// transferring state, the transfer log and the blocks' progress. Opening the
// file, preparing the link and writing the blocks belong to the set-up
// transfer below the window; this file gives it the window's side.
#include "ui/koravelu.h"

#include "setup/block_write.h"
#include "setup/check.h"
#include "setup/layouts.h"
#include "setup/transfer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

using namespace koravel;

namespace {

const char* const kTitle = "Koravel";
const char* const kSentText = "Trasmissione dati eseguita correttamente.";
const char* const kNotSentText = "Trasmissione dati non eseguita.";
const char* const kSendErrorText = "Errore in invio dati. Prego riprovare";
const char* const kSendAnywayText = "Send the file anyway?";

} // namespace

void TfmMain::BuildTransferControls() {
    // Beside the log, over the front panel: blocks done of all.
    pbTransfer = new QProgressBar(Panel1);
    pbTransfer->setObjectName(QStringLiteral("pbTransfer"));
    pbTransfer->setGeometry(393, 8, 125, 18);
    pbTransfer->setRange(0, setup::kBlockCount);
    pbTransfer->setFormat(QStringLiteral("%v of %m"));
    pbTransfer->setAlignment(Qt::AlignCenter);
    pbTransfer->hide();
    // The log is read-only and cleared for every send: no undo history.
    mmLog->setUndoRedoEnabled(false);
}

TfmMain::SendOutcome TfmMain::btInviaClick() {
    // The dialog and the transfer's own loop let other handlers run; a send
    // asked for from one of them would interleave its blocks with this one's.
    if (transfer_->Running())
        return SendOutcome::Busy;

    // 1. The file, or nothing at all.
    if (!prompter_->ChooseFile(*dlgOpen))
        return SendOutcome::Cancelled;
    const QStringList chosen = dlgOpen->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return SendOutcome::Cancelled;
    const std::string path = QFile::encodeName(chosen.first()).toStdString();

    // 2 to 7. The file is read and checked before anything reaches the line;
    // the window turns to its transferring state once it is fit.
    bool transferring = false;
    setup::TransferHooks hooks;
    hooks.Starting = [this, &transferring] {
        transferring = true;
        EnterTransferState();
    };
    // The layouts follow the preparing reply's version, else the one the poll
    // decoded since the port was opened (FirmwareVersion is 0 until then).
    hooks.PolledFirmware = [this] { return static_cast<int>(FirmwareVersion); };
    // The question waits for the unit's handler to return: its box runs a
    // loop of its own.
    hooks.AskSendOtherFamily = [this](const setup::FamilyMismatch& mismatch,
                                      std::function<void(bool)> answer) {
        const std::string text = setup::DescribeMismatch(mismatch) + "\n\n" + kSendAnywayText;
        QTimer::singleShot(0, this, [this, text, answer = std::move(answer)] {
            answer(prompter_->Ask(QString::fromLatin1(kTitle), QString::fromLocal8Bit(text)));
        });
    };
    hooks.BlockDone = [this](const setup::BlockSpec&, const setup::BlockResult&, int done,
                             int total) { ShowTransferProgress(done, total); };
    hooks.AppendLog = [this](const std::string& line) { AppendToLog(line); };

    // The send runs to its end inside this handler, as the window's own
    // loop drives the unit; the window answers clicks all along. A quit of
    // the application (the window closed, a signal) ends every event loop
    // at once: the send still runs to its end, on the events served here.
    std::optional<setup::TransferResult> ended;
    QEventLoop loop;
    transfer_->SendFile(path, std::move(hooks), [&ended, &loop](const setup::TransferResult& r) {
        ended = r;
        loop.quit();
    });
    if (!ended)
        loop.exec();
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const setup::TransferResult result = *ended;

    using Outcome = setup::TransferResult::Outcome;
    SendOutcome outcome = SendOutcome::NotSent;
    switch (result.outcome) {
    case Outcome::Done:
        lResult->setText(QString::fromLatin1(kSentText));
        outcome = SendOutcome::Sent;
        break;
    case Outcome::BlockFailed:
        prompter_->Message(QString::fromLatin1(kTitle), QString::fromLatin1(kSendErrorText));
        lResult->setText(QString::fromLatin1(kNotSentText));
        break;
    case Outcome::FirmwareUnknown:
        prompter_->Message(QString::fromLatin1(kTitle), QString::fromLatin1(result.message));
        lResult->setText(QString::fromLatin1(kNotSentText));
        break;
    case Outcome::OtherFamily:
        // The operator said no to the question: nothing more to tell.
        lResult->setText(QString::fromLatin1(kNotSentText));
        break;
    case Outcome::Unreadable:
    case Outcome::NoSetupData:
        // Nothing was sent: saying so is all there is to do.
        prompter_->Message(QString::fromLatin1(kTitle), QString::fromLocal8Bit(result.message));
        lResult->setText(QString::fromLatin1(kNotSentText));
        break;
    case Outcome::ConversionError:
        // The error ends the send; it is shown once the window is idle again.
        outcome = SendOutcome::ConversionError;
        break;
    case Outcome::Busy:
        outcome = SendOutcome::Busy;
        break;
    }

    // 8. Back to idle, whatever happened after the transfer began.
    if (transferring)
        LeaveTransferState();

    if (outcome == SendOutcome::ConversionError)
        prompter_->Message(QString::fromLatin1(kTitle), QString::fromLocal8Bit(result.message));
    return outcome;
}

void TfmMain::EnterTransferState() {
    mmLog->clear();
    mmLog->show();
    btImposta->setEnabled(false);
    tmPoll->stop();
    pbTransfer->setRange(0, setup::kBlockCount);
    pbTransfer->setValue(0);
    pbTransfer->show();
    pbTransfer->raise();
}

void TfmMain::LeaveTransferState() {
    mmLog->hide();
    pbTransfer->hide();
    btImposta->setEnabled(true);
    tmPoll->start();
}

void TfmMain::ShowTransferProgress(int done, int total) {
    if (pbTransfer->maximum() != total)
        pbTransfer->setMaximum(total);
    // Painted on the exchange's next pass through the window's events.
    pbTransfer->setValue(done);
}

void TfmMain::AppendToLog(const std::string& line) {
    // The memo's text grows by the line and a line end.
    QTextCursor end(mmLog->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromLocal8Bit(line) + QLatin1Char('\n'));
    // The caret at the end of the newest line keeps that line in view.
    QTextCursor caret = mmLog->textCursor();
    caret.setPosition(std::max(0, mmLog->document()->characterCount() - 2));
    mmLog->setTextCursor(caret);
    mmLog->ensureCursorVisible();
}
