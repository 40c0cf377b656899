// The window's construction: frame, menus, the two 1-pixel strips, the client
// panel with the front panel, its click areas and hidden controls, the timers.
#include "ui/koravelu.h"

#include "protocol/front_panel.h"
#include "setup/transfer.h"
#include "unit/qt/qt_driver.h"
#include "unit/unit.h"

#include "ui/accessibility.h"
#include "ui/artwork.h"
#include "ui/colors.h"
#include "ui/image_box.h"
#include "ui/looks.h"
#include "ui/shape.h"
#include "unit/frame_trace.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

using namespace koravel;
using namespace koravel::colors;

namespace {

constexpr int kClientWidth = 526;
constexpr int kClientHeight = 296;

const char* const kCaption = "KORAVEL - REMOTE CONTROL INTERFACE KV-100 - 2017 - Vers. 0.2";

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QRect Rect(const koravel::PanelRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect) {
    auto* label = Named(new QLabel(text, parent), name);
    label->setGeometry(rect);
    return label;
}

QFont Monospace(int pixelSize, bool bold) {
    return Face({"Consolas", "DejaVu Sans Mono", "Liberation Mono", "Courier New"},
                QFont::Monospace, pixelSize, bold);
}

QFont Sans(int pixelSize, bool bold) {
    return Face({"Arial", "Liberation Sans", "DejaVu Sans"}, QFont::SansSerif, pixelSize, bold);
}

} // namespace

TfmMain::TfmMain(QWidget* parent)
    : QMainWindow(parent), prompter_(MakeWidgetPrompter(this)),
      // The unit on the window's port, before the status bar that shows it.
      unit_(std::make_unique<unit::Unit>()) {
    InstallAccessibility();
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QString::fromLatin1(kCaption));
    // Single fixed border: system menu, minimise and close; no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(Face({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans"}, QFont::SansSerif, 11));
    SetBackground(this, clBtnHighlight);

    BuildMenus();
    BuildPortMenuItems();
    auto* client = Named(new QWidget(this), "ClientArea");
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    BuildStrips(client);
    BuildFrontPanel(client);
    BuildClickAreas();
    BuildTxWarning();
    BuildLinkDisplay();
    BuildHelpMenu();
    BuildStatusBar();
    // The window takes exactly the menu bar, the client area and the status bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    dlgOpen = Named(new QFileDialog(this, tr("Save setup data...")), "dlgOpen");
    dlgOpen->setNameFilter(tr("Koravel setup data (*.koravel)"));
    dlgOpen->setDefaultSuffix(QStringLiteral("koravel"));
    dlgOpen->setAcceptMode(QFileDialog::AcceptOpen);
    dlgOpen->setFileMode(QFileDialog::AnyFile); // the file need not exist
    BuildTransferControls();

    tmTimer = Named(new QTimer(this), "tmTimer");
    tmTimer->setInterval(50);
    tmPoll = Named(new QTimer(this), "tmPoll");
    tmPoll->setInterval(400);

    // The unit, driven by the window's event loop.
    driver_ = new unit::QtDriver(*unit_, this);
    transfer_ = std::make_unique<setup::Transfer>(*unit_);

    ConnectHandlers();
    BuildKeyboard();
    BuildPortRetry();
    InstallUnitHooks();
    OpenTraceFromEnvironment();

    // Centred on the desktop.
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    // Both timers run from creation.
    tmTimer->start();
    tmPoll->start();
}

void TfmMain::BuildMenus() {
    mm1 = Named(menuBar(), "mm1");
    // The bar lies on the window's own white: its titles are black whatever
    // the desktop's palette (the menus themselves follow the desktop).
    QPalette bar = mm1->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
        bar.setColor(role, clBtnHighlight);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        bar.setColor(role, clBlack);
    mm1->setPalette(bar);
    mm1->setAutoFillBackground(true);
    // Each language's text carries its own mnemonic (Alt+P, Alt+C in English).
    Communication1 = Named(mm1->addMenu(tr("Com &Port")), "Communication1");
    QAction** items[] = {&COM1, &COM2, &COM3,  &COM4,  &COM5,  &COM6,  &COM7,
                         &COM8, &COM9, &COM10, &COM11, &COM12, &COM13, &COM14};
    int n = 1;
    for (QAction** item : items) {
        const QString name = QStringLiteral("COM%1").arg(n++);
        *item = Communication1->addAction(name);
        (*item)->setObjectName(name);
        (*item)->setCheckable(true);
    }
    Cat1 = Named(mm1->addMenu(tr("&Cat")), "Cat1");
    Radio1 = Named(Cat1->addAction(tr("Radio &1")), "Radio1");
    Radio2 = Named(Cat1->addAction(tr("Radio &2")), "Radio2");
    NoRadio = Named(Cat1->addAction(tr("&No Radio")), "NoRadio");
    ConfigRadio1 = Named(Cat1->addAction(tr("Config &Radio")), "ConfigRadio1");
    Radio1->setCheckable(true);
    Radio2->setCheckable(true);
    NoRadio->setCheckable(true);
}

void TfmMain::BuildStrips(QWidget* client) {
    // Top strip, 1 pixel high: its controls are laid out but cut off.
    Panel3 = Named(new QFrame(client), "Panel3");
    Panel3->setGeometry(0, 0, kClientWidth, 1);
    auto* portCaption = MakeLabel(Panel3, "Label1", tr("Serial port:"), QRect(8, 8, 72, 16));
    (void)portCaption;
    lStatus = MakeLabel(Panel3, "lStatus", tr("Status: not connected"), QRect(88, 6, 280, 18));
    lStatus->setFont(
        Face({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans"}, QFont::SansSerif, 13));
    SetTextColor(lStatus, clNavy);
    ldTX = Named(new TShape(TShape::Kind::Circle, clGreen, Panel3), "ldTX");
    ldTX->setGeometry(424, 8, 12, 12);
    MakeLabel(Panel3, "Label2", QStringLiteral("Tx"), QRect(440, 6, 20, 16));
    ldRX = Named(new TShape(TShape::Kind::Circle, clNavy, Panel3), "ldRX");
    ldRX->setGeometry(472, 8, 12, 12);
    MakeLabel(Panel3, "Label3", QStringLiteral("Rx"), QRect(488, 6, 20, 16));

    // Bottom strip, 1 pixel high, likewise cut off.
    Panel2 = Named(new QFrame(client), "Panel2");
    Panel2->setGeometry(0, kClientHeight - 1, kClientWidth, 1);
    lResult = MakeLabel(Panel2, "lResult", QString(), QRect(8, 12, 150, 16));
    btImposta = Named(new QPushButton(tr("Setup..."), Panel2), "btImposta");
    btImposta->setGeometry(164, 8, 75, 25);
    btImposta->setEnabled(false);
    btRetract = Named(new QPushButton(tr("Retract axes"), Panel2), "btRetract");
    btRetract->setGeometry(244, 8, 91, 25);
    btRetract->setEnabled(false);
    btUscita = Named(new QPushButton(tr("E&xit"), Panel2), "btUscita");
    btUscita->setGeometry(352, 8, 75, 25);
    btUscita2 = Named(new QPushButton(tr("E&xit"), Panel2), "btUscita2");
    btUscita2->setGeometry(440, 8, 75, 25);
    // The strips' buttons are cut off: they take no focus and their
    // mnemonics close nothing.
    for (QPushButton* button : {btImposta, btRetract, btUscita, btUscita2}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setShortcut(QKeySequence());
    }
}

void TfmMain::BuildFrontPanel(QWidget* client) {
    // The four small lamp pictures lie on the window itself, under the
    // client panel that covers them.
    const struct {
        TImage** image;
        const char* name;
        QPoint at;
        const char* picture;
    } lamps[] = {{&Image8, "Image8", {264, 32}, "lamp1.jpg"},
                 {&Image9, "Image9", {208, 32}, "lamp2.jpg"},
                 {&Image10, "Image10", {144, 32}, "lamp3.jpg"},
                 {&Image11, "Image11", {88, 32}, "lamp4.jpg"}};
    for (const auto& lamp : lamps) {
        *lamp.image = Named(new TImage(client), lamp.name);
        (*lamp.image)->setGeometry(QRect(lamp.at, QSize(49, 41)));
        (*lamp.image)->setPicture(LoadArtwork(QString::fromLatin1(lamp.picture)));
    }

    Panel1 = Named(new QFrame(client), "Panel1");
    Panel1->setGeometry(0, 1, kClientWidth, kClientHeight - 2);
    SetBackground(Panel1, clBtnFace);
    Panel1->raise(); // over the lamp pictures

    pnBlue = Named(new QFrame(Panel1), "pnBlue");
    pnBlue->setGeometry(1, 1, Panel1->width() - 2, Panel1->height() - 2);
    SetBackground(pnBlue, clWhite);

    Image1 = Named(new TImage(pnBlue), "Image1");
    Image1->setGeometry(0, -16, 520, 312);
    Image1->setPicture(LoadArtwork(QStringLiteral("panel.jpg")));

    lFreq = MakeLabel(pnBlue, "lFreq", tr("00.000 MHz"), Rect(koravel::kFrequencyReadout));
    lFreq->setAlignment(Qt::AlignCenter);
    lFreq->setFont(FitWidth(Monospace(48, true), QStringLiteral("00.000 MHz"), lFreq->width()));
    SetTextColor(lFreq, clYellow);
    SetBackground(lFreq, clBlack);

    lBanda = MakeLabel(pnBlue, "lBanda", QString(), Rect(koravel::kBandReadout));
    lBanda->setAlignment(Qt::AlignCenter);
    lBanda->setFont(Monospace(21, false));
    SetTextColor(lBanda, clYellow);
    SetBackground(lBanda, clBlack);

    Retract_Panel = Named(new QFrame(pnBlue), "Retract_Panel");
    Retract_Panel->setGeometry(744, 0, 265, 121);
    SetBackground(Retract_Panel, clBlack);
    Message1 = MakeLabel(Retract_Panel, "Message1", QString(), QRect(0, 8, 265, 49));
    Message2 = MakeLabel(Retract_Panel, "Message2", QString(), QRect(0, 64, 265, 49));
    for (QLabel* message : {Message1, Message2}) {
        message->setAlignment(Qt::AlignCenter);
        message->setFont(Sans(36, true));
        SetTextColor(message, clYellow);
    }
    Retract_Panel->hide();

    Label13 = MakeLabel(pnBlue, "Label13", tr("MOVING ELEMENTS..."), Rect(koravel::kMovingLabel));
    Label13->setAlignment(Qt::AlignCenter);
    Label13->setFont(Sans(16, true));
    SetTextColor(Label13, clYellow);
    SetBackground(Label13, clRed);
    Label13->hide();

    // The blink's and the direction's state holders, below the visible height.
    lMove = MakeLabel(pnBlue, "lMove", QStringLiteral("Move"), QRect(352, 320, 33, 13));
    SetTextColor(lMove, clGray);
    ldMove = Named(new TShape(TShape::Kind::Rectangle, clGray, pnBlue), "ldMove");
    ldMove->setGeometry(344, 320, 9, 9);
    lBidir = MakeLabel(pnBlue, "lBidir", QStringLiteral("Bidir"), QRect(360, 320, 33, 13));
    SetTextColor(lBidir, clGray);

    ld180 = Named(new TShape(TShape::Kind::Circle, clGreen, pnBlue), "ld180");
    ld180->setGeometry(256, 24, 33, 17);
    ld180->hide();
    ldBidir = Named(new TShape(TShape::Kind::Circle, clMaroon, pnBlue), "ldBidir");
    ldBidir->setGeometry(296, 24, 33, 17);
    ldBidir->hide();

    Heading = MakeLabel(pnBlue, "Heading", tr("Heading: normal ->"), QRect(304, 56, 120, 16));
    Heading->hide();
    Custom = MakeLabel(pnBlue, "Custom", tr("(default)"), QRect(304, 72, 120, 16));
    Custom->hide();

    ckOmni1 = Named(new QCheckBox(tr("Radio 1"), pnBlue), "ckOmni1");
    ckOmni1->setGeometry(8, 56, 97, 17);
    ckOmni1->hide();
    ckOmni2 = Named(new QCheckBox(tr("Radio 2"), pnBlue), "ckOmni2");
    ckOmni2->setGeometry(8, 72, 97, 17);
    ckOmni2->hide();
    Button1 = Named(new QPushButton(QStringLiteral("Button1"), pnBlue), "Button1");
    Button1->setGeometry(8, 200, 75, 25);
    Button1->hide();

    // The transfer log, over the front panel while a set-up file is sent.
    mmLog = Named(new QPlainTextEdit(Panel1), "mmLog");
    mmLog->setGeometry(8, 8, 377, 409);
    mmLog->setReadOnly(true);
    mmLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmLog->hide();
}

void TfmMain::BuildClickAreas() {
    const struct {
        TImage** area;
        const char* name;
    } areas[] = {
        {&Image12, "Image12"}, {&Image13, "Image13"}, {&Image14, "Image14"}, {&Image15, "Image15"},
        {&Image2, "Image2"},   {&Image4, "Image4"},   {&Image5, "Image5"},   {&Image6, "Image6"},
        {&Image17, "Image17"}, {&Image16, "Image16"}, {&Image20, "Image20"}, {&Image18, "Image18"},
        {&Image19, "Image19"}, {&Image24, "Image24"}, {&Image23, "Image23"},
    };
    for (const auto& a : areas) {
        // The geometry is the front panel's table, which the web page shares.
        const koravel::PanelArea place = *koravel::FindPanelArea(a.name);
        *a.area = Named(new TImage(pnBlue), a.name);
        (*a.area)->setGeometry(place.x, place.y, place.width, place.height);
        (*a.area)->setCursor(Qt::PointingHandCursor);
    }

    // The selection marker under the direction last clicked; clicks pass
    // through it to the area it overlaps.
    Image21 = Named(new TImage(pnBlue), "Image21");
    Image21->setGeometry(8, 184, 65, 17);
    Image21->setPicture(LoadArtwork(QStringLiteral("marker.jpg")));
    Image21->setAttribute(Qt::WA_TransparentForMouseEvents);
    Image21->hide();
}

void TfmMain::ConnectHandlers() {
    connect(tmTimer, &QTimer::timeout, this, &TfmMain::tmTimerTimer);
    connect(tmPoll, &QTimer::timeout, this, &TfmMain::tmPollTimer);

    void (TfmMain::*const comClicks[])() = {
        &TfmMain::COM1Click,  &TfmMain::COM2Click,  &TfmMain::COM3Click,  &TfmMain::COM4Click,
        &TfmMain::COM5Click,  &TfmMain::COM6Click,  &TfmMain::COM7Click,  &TfmMain::COM8Click,
        &TfmMain::COM9Click,  &TfmMain::COM10Click, &TfmMain::COM11Click, &TfmMain::COM12Click,
        &TfmMain::COM13Click, &TfmMain::COM14Click};
    const auto items = ComItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        QAction* item = items[i];
        const auto handler = comClicks[i];
        connect(item, &QAction::triggered, this, [this, item, handler](bool checked) {
            // The toolkit has just flipped the mark; the handler decides.
            item->setChecked(!checked);
            (this->*handler)();
        });
    }

    ConnectCatMenu();

    connect(Button1, &QPushButton::clicked, this, &TfmMain::Button1Click);
    connect(btRetract, &QPushButton::clicked, this, &TfmMain::btRetractClick);
    connect(btUscita, &QPushButton::clicked, this, &QWidget::close);
    connect(btUscita2, &QPushButton::clicked, this, &QWidget::close);

    const struct {
        TImage* area;
        void (TfmMain::*handler)();
    } clicks[] = {
        {Image12, &TfmMain::Image12Click},
        {Image13, &TfmMain::Image13Click},
        {Image14, &TfmMain::Image14Click},
        {Image15, &TfmMain::Image15Click},
        {Image2, &TfmMain::Image2Click},
        {Image4, &TfmMain::Image4Click},
        {Image5, &TfmMain::Image5Click},
        {Image6, &TfmMain::Image6Click},
        {Image17, &TfmMain::Image17Click},
        {Image16, &TfmMain::Image16Click},
        {Image20, &TfmMain::Image20Click},
        {Image18, &TfmMain::Image18Click},
        {Image19, &TfmMain::Image19Click},
        {Image24, &TfmMain::Image24Click},
        {Image23, &TfmMain::Image23Click},
        // The small lamp pictures share the 15 m button's handler.
        {Image8, &TfmMain::Image2Click},
        {Image9, &TfmMain::Image2Click},
        {Image10, &TfmMain::Image2Click},
        {Image11, &TfmMain::Image2Click},
    };
    for (const auto& c : clicks) {
        connect(c.area, &TImage::clicked, this, c.handler);
        // Pressed from the keyboard or a screen reader: the same, but for
        // the retract, which asks first.
        if (c.area != Image24)
            connect(c.area, &TImage::activated, this, c.handler);
    }
    connect(Image24, &TImage::activated, this, &TfmMain::RetractAsked);
}

std::array<QAction*, 14> TfmMain::ComItems() const {
    return {COM1, COM2, COM3,  COM4,  COM5,  COM6,  COM7,
            COM8, COM9, COM10, COM11, COM12, COM13, COM14};
}
