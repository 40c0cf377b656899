// Sending a set-up file: the send handler with its dialog, the window's
// transferring state, the transfer log and the blocks' progress. Opening the
// file, preparing the link and writing the blocks belong to the set-up
// transfer below the window; this file gives it the window's side.
#include "ui/koravelu.h"

#include "setup/block_write.h"
#include "setup/check.h"
#include "setup/layouts.h"
#include "setup/transfer.h"
#include "ui/setup_words.h"

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

// A block as the log and the messages name it: "block 20 (Useroffs18)".
QString BlockName(const setup::BlockSpec& spec) {
    return TfmMain::tr("block %1 (%2)").arg(spec.block).arg(QString::fromStdString(spec.section));
}

// One line of the transfer log: the block and what came of it.
QString BlockLine(const setup::BlockSpec& spec, const setup::BlockResult& result) {
    QString outcome;
    if (result.outcome == setup::BlockResult::Outcome::ConversionError)
        outcome = TfmMain::tr("not sent: %1").arg(QString::fromLocal8Bit(result.message));
    else if (result.failed())
        outcome = result.status == unit::kNoReply
                      ? TfmMain::tr("failed: no reply")
                      : TfmMain::tr("failed: the unit answered status %1").arg(result.status);
    else
        outcome = result.skipped ? TfmMain::tr("skipped (no values in the file)")
                                 : TfmMain::tr("written");
    return QStringLiteral("%1: %2").arg(BlockName(spec), outcome);
}

} // namespace

void TfmMain::BuildTransferControls() {
    // Beside the log, over the front panel: blocks done of all.
    pbTransfer = new QProgressBar(Panel1);
    pbTransfer->setObjectName(QStringLiteral("pbTransfer"));
    pbTransfer->setGeometry(393, 8, 125, 18);
    pbTransfer->setRange(0, setup::kBlockCount);
    pbTransfer->setFormat(tr("%v of %m"));
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
    // The command-line file as offered goes by its own bytes: a name that is
    // not valid UTF-8 does not survive decoding for the dialog.
    const bool offered =
        !commandLinePath_.isEmpty() && chosen.first() == QFile::decodeName(commandLinePath_);
    const std::string path =
        (offered ? commandLinePath_ : QFile::encodeName(chosen.first())).toStdString();

    // No port: there is no unit to ask, and the reason the port did not
    // open (in use by another program, not plugged in) is what to tell.
    if (!unit_->Port().IsOpen()) {
        const QString why =
            LastOpenFailure.isEmpty() ? tr("No serial port is open.") : LastOpenFailure;
        prompter_->Message(QString::fromLatin1(kTitle),
                           why + QLatin1Char('\n') + tr("Nothing was sent."));
        lResult->setText(tr("Data transfer not performed."));
        return SendOutcome::NotSent;
    }

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
    // One question for whatever makes the file unfit as it stands, "No" its
    // default. It waits for the unit's handler to return: its box runs a
    // loop of its own.
    hooks.AskSendAnyway = [this](const setup::SendConcerns& concerns,
                                 std::function<void(bool)> answer) {
        const QString text =
            SendConcernsWords(concerns) + QStringLiteral("\n\n") + tr("Send the file anyway?");
        QTimer::singleShot(0, this, [this, text, answer = std::move(answer)] {
            answer(prompter_->Ask(QString::fromLatin1(kTitle), text));
        });
    };
    // One line per block in the log; the core's blank line per written
    // block says nothing, and is not shown.
    hooks.BlockDone = [this](const setup::BlockSpec& spec, const setup::BlockResult& result,
                             int done, int total) {
        AppendToLog(BlockLine(spec, result));
        ShowTransferProgress(done, total);
    };

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
    const QString sentText = tr("Data transfer completed successfully.");
    const QString notSentText = tr("Data transfer not performed.");
    QString detail; // what the status bar keeps, beside lResult's words
    switch (result.outcome) {
    case Outcome::Done:
        lResult->setText(sentText);
        detail = tr("%n block(s) written", "", result.blocksWritten);
        outcome = SendOutcome::Sent;
        break;
    case Outcome::BlockFailed: {
        // Which block, and that the unit now holds part of the new set-up. A
        // block whose reply never came may be in the unit all the same.
        const QString where = result.stoppedAt ? BlockName(*result.stoppedAt) : tr("a block");
        const QString what =
            result.status == unit::kNoReply
                ? tr("%1 may not have been written: no reply from the unit.").arg(where)
                : tr("%1 was not written: the unit answered status %2.")
                      .arg(where)
                      .arg(result.status);
        detail = what + QLatin1Char(' ') +
                 tr("The unit holds %n block(s) of the new set-up and its old values beyond. "
                    "Sending the file again completes it.",
                    "", result.blocksWritten);
        prompter_->Message(QString::fromLatin1(kTitle), tr("Error sending data. Please try again") +
                                                            QStringLiteral("\n\n") + detail);
        lResult->setText(notSentText);
        break;
    }
    case Outcome::FirmwareUnknown:
        detail = tr("The unit did not report its firmware version; nothing was sent.");
        prompter_->Message(QString::fromLatin1(kTitle), detail);
        lResult->setText(notSentText);
        break;
    case Outcome::Declined:
        // The operator said no to the question: nothing more to tell.
        detail = tr("The file is not fit to be sent as it stands; nothing was sent.");
        lResult->setText(notSentText);
        break;
    case Outcome::Unreadable:
    case Outcome::NoSetupData:
        // Nothing was sent: saying so is all there is to do.
        detail = result.outcome == Outcome::NoSetupData
                     ? tr("The file \"%1\" holds no set-up data.").arg(chosen.first())
                     : tr("The file \"%1\" cannot be read: %2.")
                           .arg(chosen.first(), QString::fromLocal8Bit(result.reason));
        prompter_->Message(QString::fromLatin1(kTitle), detail);
        lResult->setText(notSentText);
        break;
    case Outcome::ConversionError:
        // The error ends the send; it is shown once the window is idle again.
        detail = QString::fromLocal8Bit(result.message);
        outcome = SendOutcome::ConversionError;
        break;
    case Outcome::Busy:
        outcome = SendOutcome::Busy;
        break;
    }
    // The outcome stays in the status bar until the next send.
    if (outcome != SendOutcome::Busy) {
        const QString said =
            outcome == SendOutcome::ConversionError ? notSentText : lResult->text();
        transferOutcome_ = detail.isEmpty() ? said : said + QLatin1Char(' ') + detail;
        SetStatusNotice(QStringLiteral("transfer"), transferOutcome_, outcome != SendOutcome::Sent);
        RenderStatusBar();
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

void TfmMain::AppendToLog(const QString& line) {
    // The memo's text grows by the line and a line end.
    QTextCursor end(mmLog->document());
    end.movePosition(QTextCursor::End);
    end.insertText(line + QLatin1Char('\n'));
    // The caret at the end of the newest line keeps that line in view.
    QTextCursor caret = mmLog->textCursor();
    caret.setPosition(std::max(0, mmLog->document()->characterCount() - 2));
    mmLog->setTextCursor(caret);
    mmLog->ensureCursorVisible();
}
