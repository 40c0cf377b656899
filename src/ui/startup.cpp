// Start-up and settings: the first activation with its command-line send, the
// serial-port menu, the settings written at close, the exchange's hooks and
// the frame trace.
#include "ui/koravelu.h"

#include "ini/integer.h"
#include "setup/transfer.h"
#include "station/com_port.h"
#include "station/settings.h"
#include "ui/colors.h"
#include "ui/shape.h"
#include "unit/frame_trace.h"
#include "unit/qt/qt_driver.h"
#include "unit/unit.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

using namespace koravel;

namespace {

const char* const kProgramTitle = "Koravel";

// A file name made absolute against the working folder and cleaned of "."
// and ".." as the file dialog cleans it, byte for byte.
QByteArray AbsolutePath(const QByteArray& name) {
    std::filesystem::path path(name.toStdString());
    std::error_code ec;
    if (path.is_relative())
        path = std::filesystem::current_path(ec) / path;
    return QByteArray::fromStdString(path.lexically_normal().string());
}

} // namespace

TfmMain::~TfmMain() {
    tmTimer->stop();
    tmPoll->stop();
    // The transfer goes before its unit, and the unit's hooks point into
    // this window.
    transfer_.reset();
    delete driver_;
    driver_ = nullptr;
    unit_->hooks = unit::Hooks{};
    unit_->trace = nullptr;
}

void TfmMain::SetPrompter(std::unique_ptr<Prompter> prompter) {
    if (prompter)
        prompter_ = std::move(prompter);
}

void TfmMain::InstallUnitHooks() {
    unit_->hooks.FrameSent = [this] {
        ldTX->setBrushColor(colors::clLime);
        ldTX->repaint();
    };
    unit_->hooks.FrameHeard = [this] {
        SilentTicks = 0;
        QuietTicks = 0;
    };
}

void TfmMain::OpenTraceFromEnvironment() {
    const char* path = std::getenv("KORAVEL_TRACE");
    if (path == nullptr || *path == '\0')
        return;
    auto trace = std::make_unique<FrameTrace>();
    if (!trace->Open(path)) {
        std::fprintf(stderr, "koravel: cannot write the frame trace %s: %s\n", path,
                     std::strerror(errno));
        return;
    }
    trace_ = std::move(trace);
    unit_->trace = trace_.get();
}

bool TfmMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void TfmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TfmMain::FormActivate() {
    if (!FirstActivation)
        return;
    // Cleared first: a message box below lets the window be activated again,
    // and the start-up must run only once.
    FirstActivation = false;

    std::string warning;
    const Settings settings = ReadSettings(SettingsPath(), warning);
    QStringList problems;
    if (!warning.empty()) {
        std::fprintf(stderr, "koravel: settings not read, defaults used: %s\n", warning.c_str());
        problems << tr("Settings not read, defaults used: %1").arg(QString::fromLocal8Bit(warning));
    }
    // Told once, now, rather than lost at the close.
    if (const std::optional<SettingsSaveProblem> unsaved =
            WhySettingsCannotBeSaved(SettingsPath())) {
        const QString where = QString::fromLocal8Bit(unsaved->where);
        problems << tr("Settings will not be saved: %1")
                        .arg(unsaved->readOnly ? tr("%1: the file is read-only").arg(where)
                                               : QString::fromLocal8Bit(unsaved->Text()));
    }
    SetStatusNotice(QStringLiteral("settings"), problems.join(QStringLiteral("   ")), true);

    const std::optional<std::int32_t> port = SavedPortNumber(settings);
    if (port && settings.serialPortGiven)
        ChosenPortNumber = *port;
    if (port)
        OpenPortNumber(*port);
    RenderStatusBar();

    ckOmni1->setChecked(settings.rig1);
    ckOmni2->setChecked(settings.rig2);

    // A port number that is not a number leaves the port closed; the
    // operator is told once and can pick a port from the menu.
    if (!port) {
        prompter_->Message(QString::fromLatin1(kProgramTitle),
                           QString::fromLocal8Bit(setup::NotAnIntegerMessage(settings.serialPort)));
    }

    // Command-line mode: the file is offered in the dialog and sent, and the
    // window closes whatever came of it, a cancel included. A value in the
    // file that is no integer leaves the window open with the error shown.
    if (CommandLineFile.isEmpty())
        return;
    commandLinePath_ = AbsolutePath(CommandLineFile);
    dlgOpen->selectFile(QFile::decodeName(commandLinePath_));
    FinishCommandLine(btInviaClick());
}

void TfmMain::FinishCommandLine(SendOutcome outcome) {
    // Scripts run this mode: the outcome goes to standard output, and the
    // exit status says whether the file went whole.
    ExitStatus = outcome == SendOutcome::Sent ? 0 : 1;
    QString told = transferOutcome_;
    if (outcome == SendOutcome::Cancelled) {
        told = tr("Nothing was sent: the file was not confirmed.");
        SetStatusNotice(QStringLiteral("transfer"), told, true);
        RenderStatusBar();
    }
    std::printf("%s\n", told.toLocal8Bit().constData());
    std::fflush(stdout);
    // A value that is no integer leaves the window open with the error shown.
    if (outcome == SendOutcome::ConversionError)
        return;
    // The outcome stays on the screen a moment, with no box to click.
    QTimer::singleShot(CommandLineCloseDelayMs, this, &QWidget::close);
}

void TfmMain::FormClose() {
    std::string error;
    // The operator's choice stays, though its port did not open this time
    // (a second window on a busy port, an adapter not plugged in).
    const std::int32_t port = ChosenPortNumber != 0 ? ChosenPortNumber : PortNumber;
    if (!WriteSettings(SettingsPath(), port, ckOmni1->isChecked(), ckOmni2->isChecked(), error))
        std::fprintf(stderr, "koravel: settings not saved: %s\n", error.c_str());
}

void TfmMain::Button1Click() {
    for (QAction* item : ComItems())
        item->setChecked(false);
}

void TfmMain::OpenPortNumber(std::int32_t n) {
    UnitConnected = false;
    // The version of whatever unit answered on the port before: the unit on
    // this one has yet to report its own.
    FirmwareVersion = 0;
    PortNumber = n;
    // The port chosen: tried again while it is absent or gone.
    retryPort_ = n;
    heardOnPort_ = false;
    QuietTicks = 0;
    CommandedFrequency = -1;
    const std::int32_t error = OpenComPort(unit_->Port(), n);
    NoteOpenResult(n, error);
    if (error == 0) {
        lStatus->setText(tr("Status: connecting..."));
        Button1Click();
        if (n >= 1 && n <= 14)
            ComItems()[static_cast<std::size_t>(n - 1)]->setChecked(true);
        return;
    }
    PortNumber = 0;
    lStatus->setText(tr("Status: not connected (port closed)."));
    btImposta->setEnabled(false);
    btRetract->setEnabled(false);
}
