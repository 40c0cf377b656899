// The main window: the front panel of the antenna's control unit, the status
// poll that keeps it up to date, the operator's commands, start-up and the
// settings kept between runs, radio tracking, the sending of set-up files.
// One class; its handlers live in files by concern (form_layout, startup,
// poll, link_display, commands, keyboard, tracking, tx_warning, transfer,
// status_bar, port_menu, port_retry, help_menu).
#pragma once

#include "follow/follow_rule.h"
#include "follow/tx_warning.h"
#include "ui/dialogs.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;
class TOmniRigX;

namespace unit {
class Unit;
class QtDriver;
} // namespace unit
namespace setup {
class Transfer;
}

namespace koravel {
class Announcer;
class ElidedLabel;
class FrameTrace;
class SerialDevicesDialog;
class TImage;
class TShape;
struct StatusReply;
} // namespace koravel

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;
    TfmMain(const TfmMain&) = delete;
    TfmMain& operator=(const TfmMain&) = delete;

    // The unit on the window's port, driven by the window's event loop.
    unit::Unit& unit() { return *unit_; }

    // Message boxes and dialogs go through this seam.
    void SetPrompter(std::unique_ptr<koravel::Prompter> prompter);
    koravel::Prompter& prompter() { return *prompter_; }

    // Menus.
    QMenuBar* mm1 = nullptr;
    QMenu* Communication1 = nullptr;
    QAction* COM1 = nullptr;
    QAction* COM2 = nullptr;
    QAction* COM3 = nullptr;
    QAction* COM4 = nullptr;
    QAction* COM5 = nullptr;
    QAction* COM6 = nullptr;
    QAction* COM7 = nullptr;
    QAction* COM8 = nullptr;
    QAction* COM9 = nullptr;
    QAction* COM10 = nullptr;
    QAction* COM11 = nullptr;
    QAction* COM12 = nullptr;
    QAction* COM13 = nullptr;
    QAction* COM14 = nullptr;
    QAction* SerialDevices1 = nullptr; // "Serial devices...", after the COM items
    QMenu* Cat1 = nullptr;
    QAction* Radio1 = nullptr;
    QAction* Radio2 = nullptr;
    QAction* NoRadio = nullptr;
    QAction* ConfigRadio1 = nullptr;
    QMenu* Help1 = nullptr; // "Help": the manual pages and the About box
    QAction* About1 = nullptr;

    // Top strip: link status and lamps.
    QFrame* Panel3 = nullptr;
    QLabel* lStatus = nullptr;
    koravel::TShape* ldTX = nullptr;
    koravel::TShape* ldRX = nullptr;

    // Bottom strip: transfer outcome and buttons.
    QFrame* Panel2 = nullptr;
    QLabel* lResult = nullptr;
    QPushButton* btImposta = nullptr;
    QPushButton* btRetract = nullptr;
    QPushButton* btUscita = nullptr;
    QPushButton* btUscita2 = nullptr;

    // Status bar below the front panel (status_bar.cpp): the link state as
    // lStatus words it and the port with its device; the last open failure
    // and other notices, and the followed rigs.
    QStatusBar* sbStatus = nullptr;
    QLabel* lLinkState = nullptr;
    koravel::ElidedLabel* lPortDevice = nullptr;
    koravel::ElidedLabel* lNotice = nullptr;
    QLabel* lRigs = nullptr;
    koravel::SerialDevicesDialog* dlgSerialDevices = nullptr; // made on first use

    // Client panel, the front panel and what lies on it.
    QFrame* Panel1 = nullptr;
    QFrame* pnBlue = nullptr;
    QPlainTextEdit* mmLog = nullptr;
    QProgressBar* pbTransfer = nullptr; // blocks done, shown while a set-up file is sent
    koravel::TImage* Image1 = nullptr;  // the front-panel picture
    QLabel* lFreq = nullptr;
    QLabel* lBanda = nullptr;
    QFrame* Retract_Panel = nullptr;
    QLabel* Message1 = nullptr;
    QLabel* Message2 = nullptr;
    QLabel* Label13 = nullptr; // "MOVING ELEMENTS..."
    // "TRANSMITTING WHILE THE ELEMENTS MOVE", over lBanda and Label13 while
    // TxWhileMoving holds, hidden otherwise (tx_warning.cpp).
    QLabel* lTxWarning = nullptr;
    QLabel* lMove = nullptr;
    koravel::TShape* ldMove = nullptr;
    QLabel* lBidir = nullptr;
    koravel::TShape* ld180 = nullptr;
    koravel::TShape* ldBidir = nullptr;
    // The pilot lamp over the picture's power switch: green while the link
    // is up, amber while the unit is silent, dark while the link is down.
    koravel::TShape* ldPower = nullptr;
    // "ELEMENTS RETRACTED" over the read-out while the unit reports 0 kHz.
    QLabel* lRetracted = nullptr;
    QLabel* Heading = nullptr;
    QLabel* Custom = nullptr;
    QCheckBox* ckOmni1 = nullptr;
    QCheckBox* ckOmni2 = nullptr;
    QPushButton* Button1 = nullptr;

    // Click areas over the picture: band buttons, arrows, direction buttons,
    // retract, and the close area beyond the panel's width.
    koravel::TImage* Image12 = nullptr; // 40
    koravel::TImage* Image13 = nullptr; // 30
    koravel::TImage* Image14 = nullptr; // 20
    koravel::TImage* Image15 = nullptr; // 17
    koravel::TImage* Image2 = nullptr;  // 15
    koravel::TImage* Image4 = nullptr;  // 12
    koravel::TImage* Image5 = nullptr;  // 10
    koravel::TImage* Image6 = nullptr;  // 6
    koravel::TImage* Image17 = nullptr; // left arrow
    koravel::TImage* Image16 = nullptr; // right arrow
    koravel::TImage* Image20 = nullptr; // Norm
    koravel::TImage* Image18 = nullptr; // 180 degrees
    koravel::TImage* Image19 = nullptr; // Bi-Dir
    koravel::TImage* Image24 = nullptr; // Retract
    koravel::TImage* Image23 = nullptr; // close
    koravel::TImage* Image21 = nullptr; // selection marker
    // Small lamp pictures on the window itself, beneath the client panel.
    koravel::TImage* Image8 = nullptr;
    koravel::TImage* Image9 = nullptr;
    koravel::TImage* Image10 = nullptr;
    koravel::TImage* Image11 = nullptr;

    QTimer* tmTimer = nullptr;  // 50 ms: lamps, exchange time-out, moving blink
    QTimer* tmPoll = nullptr;   // 400 ms: status poll
    QTimer* tmReopen = nullptr; // 2 s: a chosen port that is absent or gone is tried again
    QFileDialog* dlgOpen = nullptr;

    // Live state of the link and the unit.
    bool UnitConnected = false;
    std::int32_t SilentTicks = 0;
    std::int32_t ReportedFrequency = 0; // kHz, 0 to 65535
    std::int32_t FirmwareVersion = 0;   // major * 256 + minor
    bool ElementsMoving = false;
    std::int32_t RigHighlightTicks = 0;
    // Poll ticks since the unit was last heard on this port (any frame).
    std::int32_t QuietTicks = 0;
    // A tune asked for (kHz) that no status reply has reported yet; -1 when
    // none. The arrows and direction buttons step from it.
    std::int32_t CommandedFrequency = -1;
    // Per rig (rig 1 first): whether a followed rig is beyond the antenna's
    // range and therefore not sent, and its frequency then.
    std::array<follow::RangeWatch, 2> RigRange{};
    // A followed rig transmits while the unit reports its elements moving.
    follow::TxWarning TxWhileMoving;

    // Shell state.
    bool FirstActivation = true;
    std::int32_t PortNumber = 0; // 0: no port open
    // The port the operator chose last (saved in the settings, or picked from
    // the menu), whether or not it opened: the settings keep it at close.
    // 0 when none was chosen (the default port 1 is no choice).
    std::int32_t ChosenPortNumber = 0;
    // The program's first argument, its bytes as given (a file name need not
    // be valid UTF-8): a set-up file that the start-up offers in dlgOpen and
    // sends, after which the window closes.
    QByteArray CommandLineFile;
    // How long the outcome of the command-line send stays on the screen
    // before the window closes.
    int CommandLineCloseDelayMs = 2000;
    // The program's exit status: non-zero once a command-line send has not
    // sent its file whole.
    int ExitStatus = 0;

    // The COM items, COM1 first.
    std::array<QAction*, 14> ComItems() const;

    // Start-up and settings.
    void FormActivate();
    void FormClose();
    void Button1Click();
    void COM1Click() { ComPortClick(1); }
    void COM2Click() { ComPortClick(2); }
    void COM3Click() { ComPortClick(3); }
    void COM4Click() { ComPortClick(4); }
    void COM5Click() { ComPortClick(5); }
    void COM6Click() { ComPortClick(6); }
    void COM7Click() { ComPortClick(7); }
    void COM8Click() { ComPortClick(8); }
    void COM9Click() { ComPortClick(9); }
    void COM10Click() { ComPortClick(10); }
    void COM11Click() { ComPortClick(11); }
    void COM12Click() { ComPortClick(12); }
    void COM13Click() { ComPortClick(13); }
    void COM14Click() { ComPortClick(14); }
    // Closes and reopens serial port n, as every COM item does.
    void OpenPortNumber(std::int32_t n);

    // The port menu (port_menu.cpp). A COM item opens its port and tells
    // the operator in a box why it did not open.
    void ComPortClick(std::int32_t n);
    // Names each COM item's device; run when the menu is about to show.
    void RefreshComItems();
    // "Serial devices...": the devices present and their COM numbers.
    void SerialDevices1Click();

    // The status bar (status_bar.cpp). The last open failure in words;
    // empty when the last open worked.
    QString LastOpenFailure;
    // Records what opening port n gave (error: LastCommError after open and
    // configure), for the bar.
    void NoteOpenResult(std::int32_t n, std::int32_t error);
    // Renders the bar from the window's state; run on every poll tick.
    void RenderStatusBar();
    // A further notice in the bar, under a key of its own (say "range" or
    // "transmit"); alarm shows it in red. An empty text takes it away.
    void SetStatusNotice(const QString& key, const QString& text, bool alarm = false);

    // Ports that come back (port_retry.cpp): the chosen port is tried again
    // every kReopenMs while it is absent or has hung up.
    static constexpr int kReopenMs = 2000;
    void tmReopenTimer();

    // Poll and display.
    void tmTimerTimer();
    void tmPollTimer();
    void lFreqClick() {} // the read-out takes no action

    // Operator commands.
    void Image2Click();
    void Image4Click();
    void Image5Click();
    void Image6Click();
    void Image12Click();
    void Image13Click();
    void Image14Click();
    void Image15Click();
    void Image16Click();
    void Image17Click();
    void Image18Click();
    void Image19Click();
    void Image20Click();
    void Image23Click();
    void Image24Click();
    void btRetractClick();
    // The retract area pressed from the keyboard or a screen reader: asks
    // first, for a retract by accident is costly.
    void RetractAsked();
    // The frequency the arrows and direction buttons step from: the one
    // last asked for while the unit has not yet reported it, else the
    // reported one.
    std::int32_t BaseFrequency() const;

    // Radio tracking: the "Cat" menu and the CAT client. The client is null
    // until the connection sequence creates it; it then stays, connected or
    // not, until the window goes.
    TOmniRigX* OmniRigClient = nullptr;
    void Radio1Click();
    void Radio2Click();
    void NoRadioClick();
    void ConfigRadio1Click();
    // The tracking step, bound to the client's OnParamsChange.
    void OmniRigParamsChange(TOmniRigX* Sender, int RigNumber, int Params);

    // Set-up transfer.
    enum class SendOutcome {
        Cancelled,       // the dialog was cancelled: nothing changed
        Sent,            // every block written or skipped
        NotSent,         // a block failed, the file cannot be used, the unit's firmware
                         // is not known, or a file for the other family was declined
        ConversionError, // a value is not an integer; the error was shown
        Busy,            // a send is already under way: ignored
    };
    // Offers dlgOpen and sends the chosen set-up file to the unit.
    SendOutcome btInviaClick();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildPortMenuItems();
    void BuildStatusBar();
    QString RigStatusText(int rigNumber) const;
    void BuildStrips(QWidget* client);
    void BuildFrontPanel(QWidget* client);
    void BuildClickAreas();
    void ConnectHandlers();
    void InstallUnitHooks();
    void BuildKeyboard();
    void BuildHelpMenu();
    void HelpAboutClick();
    // The About box's text: the version, the licence, the manual pages.
    static QString AboutText();
    void BuildLinkDisplay();
    void RenderLinkDisplay();
    int SilentSeconds() const;
    void AnnounceStatusBar(const QString& linkState, const QString& notices, bool alarm);
    void BuildPortRetry();
    bool PortHungUp();
    bool RetryApplies() const;
    QString RetryNotice();
    // The command-line send's outcome, told on the screen and on standard
    // output; the window closes a moment later.
    void FinishCommandLine(SendOutcome outcome);
    void OpenTraceFromEnvironment();

    void DecodeStatus(const koravel::StatusReply& reply);
    void MovingIndicatorTick();
    void SetLinkButtons(bool enabled);

    // An operator command or a tracking send; ended runs once its exchange
    // has ended, answered or not.
    void SendCommand(std::uint8_t command, const std::vector<std::uint8_t>& argument,
                     std::function<void()> ended = {});
    void SendTune(std::uint32_t khz);
    void DirectionClick(koravel::TImage* area, std::uint8_t direction);

    void ConnectCatMenu();
    // The connection sequence; false when connecting or a first tracking
    // step failed (the caller shows the error box).
    bool ConnectOmniRig();
    // The connection error box, shown from the event loop once the running
    // handler (a poll tick) has returned.
    void ShowTrackingConnectErrorLater();
    // The tracking step for one rig; false when the rig cannot be asked (no
    // server); a frequency that cannot be read ends the step quietly.
    // sendFrequency false: everything but the send.
    bool TrackRig(int rigNumber, bool sendFrequency = true);
    // Tells in the bar whether the rig's reading is beyond the antenna's
    // range; false when it is (nothing to send).
    bool NoteRigRange(int rigNumber, const follow::Step& step);
    // Every poll tick: the followed rigs' ranges from their latest readings,
    // whether or not a notification came or the link is up.
    void WatchRigRanges();

    // The transmit-while-moving warning (tx_warning.cpp).
    void BuildTxWarning();
    bool FollowedRigTransmits() const;
    // Sets TxWhileMoving from ElementsMoving and the followed rigs, and shows
    // or hides the warning; true when it changed.
    bool UpdateTxWarning();
    QCheckBox* RigBox(int rigNumber) const;

    void BuildTransferControls();
    void EnterTransferState();
    void LeaveTransferState();
    void ShowTransferProgress(int done, int total);
    void AppendToLog(const QString& line);

    struct StatusNotice {
        QString text;
        bool alarm = false;
    };
    std::map<QString, StatusNotice> statusNotices_;
    QString portShown_;                       // "COM1  /dev/pts/3": the port last opened or tried
    std::uint64_t rxMark_ = 0;                // the unit's bytes read at the last 50 ms tick
    koravel::Announcer* announcer_ = nullptr; // the read-out and the link state
    koravel::Announcer* noticeAnnouncer_ = nullptr; // the status bar's notices
    bool statusDecoded_ = false;                    // a status reply was shown since start
    bool heardOnPort_ = false;                      // the unit answered since the port was opened
    QString shownFrequency_;                        // the read-out of the last status reply
    std::int32_t retryPort_ = 0;                    // the port chosen, tried again while absent
    QString transferOutcome_;                       // the last send's outcome, kept in the bar
    // The replies (elements at rest) since CommandedFrequency was asked
    // for that did not report it.
    int commandedMisses_ = 0;
    // The command-line file as an absolute path, its bytes; what dlgOpen
    // offers is its name decoded for display.
    QByteArray commandLinePath_;

    std::unique_ptr<koravel::Prompter> prompter_;
    std::unique_ptr<koravel::FrameTrace> trace_;
    std::unique_ptr<unit::Unit> unit_;
    unit::QtDriver* driver_ = nullptr;
    std::unique_ptr<setup::Transfer> transfer_;
};
