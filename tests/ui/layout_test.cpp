// The window as the operator and the tools find it: frame, named controls,
// where the click areas lie, what is hidden and what covers what.
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "ui/elided_label.h"
#include "ui/image_box.h"
#include "ui/shape.h"

namespace koravel::test {
namespace {

using LayoutTest = WindowTest;

TEST_F(LayoutTest, FrameIsFixedAndHoldsTheClientAreaBelowTheMenu) {
    TfmMain& w = MakeWindow(true);
    w.show();
    EXPECT_EQ(w.windowTitle(), "KORAVEL - REMOTE CONTROL INTERFACE KV-100 - 2017 - Vers. 0.2");
    EXPECT_EQ(w.centralWidget()->size(), QSize(526, 296));
    EXPECT_EQ(w.centralWidget()->y(), w.menuBar()->height());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    // The status bar below the client area adds its height, nothing else.
    ASSERT_NE(w.sbStatus, nullptr);
    EXPECT_EQ(w.findChild<QStatusBar*>("sbStatus"), w.sbStatus);
    EXPECT_TRUE(w.sbStatus->isVisible());
    EXPECT_GT(w.sbStatus->height(), 0);
    EXPECT_EQ(w.size().height(), 296 + w.menuBar()->height() + w.sbStatus->height());
    EXPECT_EQ(w.size().width(), 526);
    EXPECT_EQ(w.sbStatus->geometry(),
              QRect(0, w.menuBar()->height() + 296, 526, w.sbStatus->height()));
    // A long text in the bar is cut short; the window keeps its width.
    w.SetStatusNotice(QStringLiteral("long"), QString(400, QLatin1Char('x')), true);
    w.RenderStatusBar();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.size().width(), 526);
    EXPECT_TRUE(w.lNotice->text().endsWith(QChar(0x2026))) << w.lNotice->text().toStdString();
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    // Both timers run from creation.
    EXPECT_TRUE(w.tmTimer->isActive());
    EXPECT_EQ(w.tmTimer->interval(), 50);
    EXPECT_TRUE(w.tmPoll->isActive());
    EXPECT_EQ(w.tmPoll->interval(), 400);

    // The texts as shown, each with its mnemonic (Alt+P, Alt+C, Alt+I).
    QStringList menus;
    for (QAction* a : w.mm1->actions())
        menus << a->iconText();
    EXPECT_EQ(menus, (QStringList{"Com Port", "Cat", "Aiuto"}));
    EXPECT_EQ(w.Communication1->title(), "Com &Port");
    EXPECT_EQ(w.Cat1->title(), "&Cat");
    QStringList cat;
    for (QAction* a : w.Cat1->actions())
        cat << a->iconText();
    EXPECT_EQ(cat, (QStringList{"Radio 1", "Radio 2", "No Radio", "Config Radio"}));
    // COM1 to COM14, a separator, "Serial devices...".
    ASSERT_EQ(w.Communication1->actions().size(), 16);
    EXPECT_EQ(w.Communication1->actions().at(13)->text(), "COM14");
    EXPECT_EQ(w.findChild<QAction*>("COM14"), w.COM14);
    EXPECT_TRUE(w.Communication1->actions().at(14)->isSeparator());
    EXPECT_EQ(w.Communication1->actions().at(15), w.SerialDevices1);
    EXPECT_EQ(w.SerialDevices1->text(), "Dispositivi seriali...");
    EXPECT_EQ(w.findChild<QAction*>("SerialDevices1"), w.SerialDevices1);
}

TEST_F(LayoutTest, ControlsAreFoundByTheirNames) {
    TfmMain& w = MakeWindow();
    const std::pair<const char*, const QWidget*> named[] = {
        {"lFreq", w.lFreq},
        {"lBanda", w.lBanda},
        {"lStatus", w.lStatus},
        {"lResult", w.lResult},
        {"ldTX", w.ldTX},
        {"ldRX", w.ldRX},
        {"ld180", w.ld180},
        {"ldBidir", w.ldBidir},
        {"ldMove", w.ldMove},
        {"lMove", w.lMove},
        {"lBidir", w.lBidir},
        {"Label13", w.Label13},
        {"Message1", w.Message1},
        {"Retract_Panel", w.Retract_Panel},
        {"Message2", w.Message2},
        {"Heading", w.Heading},
        {"Custom", w.Custom},
        {"Panel1", w.Panel1},
        {"Panel2", w.Panel2},
        {"Panel3", w.Panel3},
        {"pnBlue", w.pnBlue},
        {"Image1", w.Image1},
        {"Image21", w.Image21},
        {"ckOmni1", w.ckOmni1},
        {"ckOmni2", w.ckOmni2},
        {"Button1", w.Button1},
        {"btImposta", w.btImposta},
        {"btRetract", w.btRetract},
        {"mmLog", w.mmLog},
        {"mm1", w.mm1},
        {"dlgOpen", w.dlgOpen},
        {"sbStatus", w.sbStatus},
        {"lLinkState", w.lLinkState},
        {"lPortDevice", w.lPortDevice},
        {"lNotice", w.lNotice},
        {"lRigs", w.lRigs},
    };
    for (const auto& [name, widget] : named) {
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(w.findChild<QWidget*>(name), widget) << name;
    }
    EXPECT_NE(w.findChild<QTimer*>("tmTimer"), nullptr);
    EXPECT_NE(w.findChild<QTimer*>("tmPoll"), nullptr);
    EXPECT_EQ(w.lStatus->text(), "Stato: non connesso");
    EXPECT_EQ(w.lLinkState->text(), "Stato: non connesso") << "the bar words the link as lStatus";
    EXPECT_EQ(w.lFreq->text(), "00.000 MHz");
    EXPECT_EQ(w.Label13->text(), "MOVING ELEMENTS...");
    EXPECT_EQ(w.Heading->text(), "Heading: normal ->");
    EXPECT_EQ(w.Custom->text(), "(default)");
    EXPECT_FALSE(w.btImposta->isEnabled());
    EXPECT_FALSE(w.btRetract->isEnabled());
    QStringList buttons;
    for (const QPushButton* b : w.Panel2->findChildren<QPushButton*>())
        buttons << b->text();
    EXPECT_EQ(buttons, (QStringList{"Setup...", "Retract axes", "&Uscita", "&Uscita"}));
    EXPECT_EQ(w.dlgOpen->defaultSuffix(), "koravel");
    EXPECT_EQ(w.dlgOpen->nameFilters(), QStringList{"Koravel setup data (*.koravel)"});
}

TEST_F(LayoutTest, ClickAreasLieWhereThePictureShowsTheirButtons) {
    TfmMain& w = MakeWindow();
    w.show();
    const std::pair<const char*, QRect> areas[] = {
        {"Image12", {88, 232, 57, 41}},  {"Image13", {144, 232, 41, 41}},
        {"Image14", {200, 232, 49, 41}}, {"Image15", {256, 232, 41, 41}},
        {"Image2", {304, 232, 49, 41}},  {"Image4", {368, 232, 41, 41}},
        {"Image5", {416, 232, 41, 41}},  {"Image6", {472, 232, 33, 41}},
        {"Image17", {56, 96, 41, 41}},   {"Image16", {424, 96, 57, 49}},
        {"Image20", {24, 8, 57, 41}},    {"Image18", {104, 8, 57, 42}},
        {"Image19", {184, 8, 65, 41}},   {"Image24", {384, 0, 129, 49}},
        {"Image23", {552, 216, 73, 81}},
    };
    for (const auto& [name, rect] : areas) {
        auto* area = w.findChild<TImage*>(name);
        ASSERT_NE(area, nullptr) << name;
        EXPECT_EQ(area->parentWidget(), w.pnBlue) << name;
        EXPECT_EQ(area->geometry(), rect) << name;
        // The operator's click at the centre lands on the area itself.
        if (rect.right() < w.pnBlue->width()) {
            EXPECT_EQ(w.pnBlue->childAt(rect.center()), area) << name;
        }
    }
    EXPECT_GE(w.Image23->x(), w.pnBlue->width()); // out of sight

    EXPECT_EQ(w.Image1->geometry(), QRect(0, -16, 520, 312));
    EXPECT_EQ(w.lFreq->geometry(), QRect(125, 88, 285, 57));
    EXPECT_EQ(w.lBanda->geometry(), QRect(102, 171, 312, 25));
    EXPECT_EQ(w.Label13->geometry(), QRect(128, 184, 265, 17));
    EXPECT_EQ(w.Image21->geometry(), QRect(8, 184, 65, 17));
    EXPECT_EQ(w.ld180->geometry(), QRect(256, 24, 33, 17));
    EXPECT_EQ(w.ldBidir->geometry(), QRect(296, 24, 33, 17));
    EXPECT_EQ(w.Retract_Panel->geometry(), QRect(744, 0, 265, 121));
    EXPECT_EQ(w.mmLog->geometry(), QRect(8, 8, 377, 409));
    EXPECT_TRUE(w.mmLog->isReadOnly());

    // The front panel stays where it was, above the status bar.
    EXPECT_EQ(w.pnBlue->mapTo(&w, QPoint(0, 0)), QPoint(1, w.menuBar()->height() + 2));
    EXPECT_EQ(w.Panel1->geometry(), QRect(0, 1, 526, 294));

    // The strips are one pixel high; the lamp pictures are covered by Panel1.
    EXPECT_EQ(w.Panel3->height(), 1);
    EXPECT_EQ(w.Panel2->height(), 1);
    EXPECT_EQ(w.Panel2->y() + 1, 296);
    for (TImage* lamp : {w.Image8, w.Image9, w.Image10, w.Image11}) {
        EXPECT_EQ(lamp->parentWidget(), w.centralWidget());
        EXPECT_EQ(lamp->size(), QSize(49, 41));
        EXPECT_NE(w.centralWidget()->childAt(lamp->geometry().center()), lamp);
    }
    EXPECT_EQ(w.Image8->pos(), QPoint(264, 32));
    EXPECT_EQ(w.Image11->pos(), QPoint(88, 32));

    const QWidget* hiddenControls[] = {w.Retract_Panel, w.Label13, w.ld180,   w.ldBidir,
                                       w.Heading,       w.Custom,  w.ckOmni1, w.ckOmni2,
                                       w.Button1,       w.mmLog,   w.Image21};
    for (const QWidget* hidden : hiddenControls)
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();

    // A picture of the window for people to look at.
    const QString shot = QStringLiteral(KORAVEL_BIN_DIR "/ui_layout.png");
    EXPECT_TRUE(w.grab().save(shot));
}

// Relative luminance and contrast ratio, as legibility guides define them.
double Luminance(const QColor& c) {
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}
double Contrast(const QColor& a, const QColor& b) {
    const double x = Luminance(a), y = Luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}
// The strongest contrast between two pixels of a region: text drawn there
// stands out from its ground.
double InkContrast(const QImage& image, const QRect& region) {
    QColor darkest(Qt::white), lightest(Qt::black);
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (Luminance(c) < Luminance(darkest))
                darkest = c;
            if (Luminance(c) > Luminance(lightest))
                lightest = c;
        }
    }
    return Contrast(darkest, lightest);
}

// Under a light and a dark desktop palette every text of the window stands
// out from what it lies on; the screenshots go to the build tree.
TEST_F(LayoutTest, TextsAreReadableUnderLightAndDarkPalettes) {
    const QPalette original = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
    dark.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    const std::string folder = std::string(KORAVEL_BIN_DIR) + "/../test-output";
    std::filesystem::create_directories(folder);
    Unplugged(1); // a red notice in the bar, too
    for (const auto& [name, palette] : {std::pair{"light", original}, std::pair{"dark", dark}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(palette);
        TfmMain& w = MakeWindow();
        w.show();
        w.FormActivate();
        w.tmPollTimer();
        const QImage shot = w.grab().toImage();
        EXPECT_TRUE(shot.save(QString::fromStdString(folder + "/window-" + name + ".png")));

        // As drawn: the menu titles, the bar's lines and its red notice
        // stand out from their ground.
        const QRect menuTitle = w.mm1->actionGeometry(w.mm1->actions().first());
        EXPECT_GE(InkContrast(shot, menuTitle.translated(w.mm1->mapTo(&w, QPoint()))), 4.5);
        for (QWidget* line :
             {static_cast<QWidget*>(w.lLinkState), static_cast<QWidget*>(w.lPortDevice),
              static_cast<QWidget*>(w.lNotice)})
            EXPECT_GE(InkContrast(shot, line->rect().translated(line->mapTo(&w, QPoint()))), 4.5)
                << line->objectName().toStdString();
        window_.reset();
    }
    QApplication::setPalette(original);
}

} // namespace
} // namespace koravel::test
