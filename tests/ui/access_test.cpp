// The window as an operator without a mouse, with a screen reader or in
// another language meets it: keys for every command and none that closes by
// accident, the accessibility tree (names, roles, actions, nothing hidden),
// and the two languages.
#include "window_fixture.h"

#include "protocol/commands.h"
#include "ui/image_box.h"
#include "ui/language.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

#include <set>

namespace koravel::test {
namespace {

class AccessTest : public WindowTest {
protected:
    TfmMain& Started() {
        unit_ = &StartSim(1);
        TfmMain& w = MakeWindow();
        w.show();
        QApplication::setActiveWindow(&w);
        w.FormActivate();
        EXPECT_EQ(w.PortNumber, 1);
        return w;
    }

    // A key as the keyboard gives it, to the control that has the focus.
    void Key(TfmMain& w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* to = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &w;
        QTest::keyClick(to, static_cast<Qt::Key>(key), modifiers);
    }

    // The request the key put on the wire, without its sequence byte and
    // checksum; empty when it sent nothing.
    Bytes Sent(TfmMain& w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        if (AndWait(*unit_, [&] { Key(w, key, modifiers); }) == 0)
            return {};
        const Bytes request = LastRequest(*unit_);
        return Bytes(request.begin() + 1, request.end() - 1);
    }

    sim::Simulator* unit_ = nullptr;
};

// Every accessible object under root, depth first.
void Walk(QAccessibleInterface* node, std::vector<QAccessibleInterface*>& all) {
    all.push_back(node);
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* child = node->child(i))
            Walk(child, all);
    }
}

TEST_F(AccessTest, TheKeyboardAloneDrivesTheUnitAndClosesOnlyOnCtrlQ) {
    TfmMain& w = Started();
    // The focus starts on the read-out, where Space and Enter do nothing;
    // none of them closes the window, nor Escape, nor the strips' old
    // mnemonic.
    EXPECT_EQ(QApplication::focusWidget(), w.lFreq);
    for (int key :
         {int(Qt::Key_Space), int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)})
        EXPECT_EQ(Sent(w, key), Bytes{}) << key;
    Key(w, Qt::Key_U, Qt::AltModifier);
    EXPECT_TRUE(w.isVisible());

    // Tab goes round the panel's areas and the read-out, left to right and
    // top to bottom, never to a control the operator cannot see.
    const std::vector<QWidget*> order = {w.Image16, w.Image12, w.Image13, w.Image14, w.Image15,
                                         w.Image2,  w.Image4,  w.Image5,  w.Image6,  w.Image20,
                                         w.Image18, w.Image19, w.Image24, w.Image17, w.lFreq};
    for (QWidget* expected : order) {
        Key(w, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected)
            << QApplication::focusWidget()->objectName().toStdString();
    }
    // Tab and Space: the focused area's command, and the window stays.
    Key(w, Qt::Key_Tab);
    EXPECT_EQ(Sent(w, Qt::Key_Space), (Bytes{kCommandTune, 0x19, 0x00}));
    EXPECT_TRUE(w.isVisible());

    // Each command's key puts its frame on the wire.
    w.CommandedFrequency = -1;
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        Bytes sent;
    } keys[] = {
        {Qt::Key_F2, Qt::NoModifier, {kCommandTune, 0x8A, 0x1B}},
        {Qt::Key_F3, Qt::NoModifier, {kCommandTune, 0x8D, 0x27}},
        {Qt::Key_F4, Qt::NoModifier, {kCommandTune, 0x78, 0x37}},
        {Qt::Key_F5, Qt::NoModifier, {kCommandTune, 0xB4, 0x46}},
        {Qt::Key_F6, Qt::NoModifier, {kCommandTune, 0xD0, 0x52}},
        {Qt::Key_F7, Qt::NoModifier, {kCommandTune, 0x76, 0x61}},
        {Qt::Key_F8, Qt::NoModifier, {kCommandTune, 0x54, 0x6F}},
        {Qt::Key_F9, Qt::NoModifier, {kCommandTune, 0xB4, 0xC3}},
        {Qt::Key_Minus, Qt::NoModifier, {kCommandTune, 0x9B, 0xC3}}, // 50075
        {Qt::Key_Plus, Qt::NoModifier, {kCommandTune, 0xB4, 0xC3}},  // 50100
        {Qt::Key_N, Qt::NoModifier, {kCommandTune, 0xB4, 0xC3, 0}},
        {Qt::Key_1, Qt::NoModifier, {kCommandTune, 0xB4, 0xC3, 1}},
        {Qt::Key_B, Qt::NoModifier, {kCommandTune, 0xB4, 0xC3, 2}},
        {Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier, {kCommandRetract}},
    };
    for (const auto& k : keys)
        EXPECT_EQ(Sent(w, k.key, k.modifiers), k.sent)
            << QKeySequence(k.key).toString().toStdString();
    EXPECT_TRUE(prompts_->questions.empty()) << "the chord retracts without asking";

    // Space on the retract area asks first; No sends nothing.
    w.Image24->setFocus();
    prompts_->answerYes = false;
    EXPECT_EQ(Sent(w, Qt::Key_Space), Bytes{});
    ASSERT_EQ(prompts_->questions.size(), 1u);
    prompts_->answerYes = true;
    EXPECT_EQ(Sent(w, Qt::Key_Space), Bytes{kCommandRetract});
    // Each key is in the area's tool tip.
    EXPECT_EQ(w.Image14->toolTip(), "Banda 20 m (F4)");

    Key(w, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(AccessTest, ScreenReadersFindNamedButtonsAndNothingHidden) {
    TfmMain& w = Started();
    TickAndWait(*unit_);
    TickAndWait(*unit_); // the unit's state decoded, the bar written
    std::vector<QAccessibleInterface*> all;
    Walk(QAccessible::queryAccessibleInterface(&w), all);

    std::map<QString, QAccessibleInterface*> buttons;
    std::set<QObject*> objects;
    for (QAccessibleInterface* node : all) {
        objects.insert(node->object());
        if (node->role() == QAccessible::Button)
            buttons[node->text(QAccessible::Name)] = node;
    }
    for (const char* name :
         {"Banda 40 m", "Banda 30 m", "Banda 20 m", "Banda 17 m", "Banda 15 m", "Banda 12 m",
          "Banda 10 m", "Banda 6 m", "Giù 25 kHz", "Su 25 kHz", "Fascio normale",
          "Fascio invertito 180°", "Fascio bidirezionale", "Ritrai gli elementi"}) {
        ASSERT_TRUE(buttons.count(QString::fromUtf8(name))) << name;
        QAccessibleActionInterface* action = buttons[QString::fromUtf8(name)]->actionInterface();
        ASSERT_NE(action, nullptr) << name;
        EXPECT_TRUE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
    // Cut off, beyond or below the picture, or hidden: not in the tree.
    for (QObject* hidden : std::initializer_list<QObject*>{
             w.lStatus, w.btUscita, w.btUscita2, w.btImposta, w.btRetract, w.Panel3, w.Panel2,
             w.ckOmni1, w.ckOmni2, w.Button1, w.Image23, w.Retract_Panel, w.lMove, w.lBidir,
             w.Heading, w.Custom, w.Image1, w.Image8, w.Image21})
        EXPECT_EQ(objects.count(hidden), 0u) << hidden->objectName().toStdString();

    // What a reader reads follows the display, a moment later: the
    // read-out, the link.
    EXPECT_TRUE(WaitFor([&] { return w.lFreq->accessibleName() == w.lRetracted->text(); }))
        << w.lFreq->accessibleName().toStdString();
    EXPECT_TRUE(WaitFor([&] {
        return w.lLinkState->accessibleName() == "Connesso con Koravel v1.13";
    })) << w.lLinkState->accessibleName().toStdString();

    // The press action is the button's click.
    const std::size_t sent = AndWait(*unit_, [&] {
        buttons[QStringLiteral("Banda 20 m")]->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    });
    ASSERT_GT(sent, 0u);
    EXPECT_EQ(TuneArguments(*unit_).back(), (Bytes{0x78, 0x37}));
}

// The window's Italian texts that differ from their English source.
QSet<QString> ItalianOnlyTexts() {
    QSet<QString> italian;
    QFile file(QStringLiteral(KORAVEL_SOURCE_DIR "/translations/koravel_it.ts"));
    if (!file.open(QIODevice::ReadOnly))
        return italian;
    QXmlStreamReader xml(&file);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") ||
                 xml.name() == QLatin1String("numerusform")) {
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (!text.isEmpty() && text != source && !text.contains(QLatin1Char('%')))
                italian.insert(QString(text).remove(QLatin1Char('&')));
        }
    }
    return italian;
}

// Every text the window shows or says: captions, titles, tool tips,
// accessible names, menus.
QStringList TextsOf(TfmMain& w) {
    QStringList texts{w.windowTitle()};
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        texts << widget->toolTip() << widget->accessibleName() << widget->windowTitle();
        if (auto* label = qobject_cast<QLabel*>(widget))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            texts << button->text();
    }
    for (QAction* action : w.findChildren<QAction*>())
        texts << action->text() << action->toolTip();
    for (QString& text : texts)
        text.remove(QLatin1Char('&'));
    texts.removeAll(QString());
    return texts;
}

TEST_F(AccessTest, EachLanguageShowsItsOwnTexts) {
    const QSet<QString> italian = ItalianOnlyTexts();
    ASSERT_GT(italian.size(), 50);
    Unplugged(1);
    {
        // Italian: the texts of the unit's makers, exactly.
        TfmMain& w = MakeWindow();
        w.FormActivate();
        EXPECT_EQ(w.lStatus->text(), "Stato: non connesso (porta chiusa).");
        EXPECT_EQ(w.btUscita->text(), "&Uscita");
        EXPECT_EQ(w.Communication1->title().remove('&'), "Com Port");
        EXPECT_EQ(w.Label13->text(), "MOVING ELEMENTS...");
        EXPECT_EQ(w.findChild<QLabel*>("Label1")->text(), "Porta seriale:");
        // Qt's own dialogs speak Italian too, where the system has Qt's
        // translations.
        if (QFile::exists(QStringLiteral("/usr/share/qt6/translations/qtbase_it.qm"))) {
            EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Annulla");
        }
    }
    ASSERT_TRUE(UseLanguage(QStringLiteral("en")));
    struct Back {
        ~Back() { UseLanguage(QStringLiteral("it")); }
    } back;
    TfmMain& w = MakeWindow();
    w.FormActivate();
    EXPECT_EQ(w.lStatus->text(), "Status: not connected (port closed).");
    EXPECT_EQ(w.btUscita->text(), "E&xit");
    EXPECT_EQ(w.Image14->accessibleName(), "Band 20 m");
    EXPECT_EQ(w.Image18->accessibleName(), "Beam reversed 180°");
    w.tmPollTimer();
    for (const QString& text : TextsOf(w))
        EXPECT_FALSE(italian.contains(text)) << text.toStdString();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

} // namespace
} // namespace koravel::test
