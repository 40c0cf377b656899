// The window from the keyboard: the front panel's click areas as focusable,
// named buttons in the Tab order of the panel (left to right, top to bottom),
// a key for every command, Ctrl+Q to quit and F10 for the menu bar. The
// controls that are cut off or hidden take no focus, so no key reaches them.
// The keys are told in each area's tool tip and in koravel(1).
#include "ui/koravelu.h"

#include "ui/image_box.h"

#include <QAction>
#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

using namespace koravel;

namespace {

// A tool tip with the area's keys: "Band 20 m (F4)".
QString WithKeys(const QString& name, const QList<QKeySequence>& keys) {
    QStringList texts;
    for (const QKeySequence& key : keys)
        texts << key.toString(QKeySequence::NativeText);
    return QStringLiteral("%1 (%2)").arg(name, texts.join(QStringLiteral(", ")));
}

} // namespace

void TfmMain::BuildKeyboard() {
    const struct {
        TImage* area;
        QString name;
        QList<QKeySequence> keys;
    } areas[] = {
        {Image20, tr("Beam normal"), {QKeySequence(Qt::Key_N)}},
        {Image18, tr("Beam reversed 180°"), {QKeySequence(Qt::Key_1)}},
        {Image19, tr("Beam bidirectional"), {QKeySequence(Qt::Key_B)}},
        // A retract by accident is costly: its key is a deliberate chord,
        // and Space or Enter on the area asks first.
        {Image24, tr("Retract elements"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)}},
        // Not the arrow keys: they move through the menu bar.
        {Image17, tr("Down 25 kHz"), {QKeySequence(Qt::Key_Minus)}},
        {Image16, tr("Up 25 kHz"), {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)}},
        {Image12, tr("Band %1 m").arg(40), {QKeySequence(Qt::Key_F2)}},
        {Image13, tr("Band %1 m").arg(30), {QKeySequence(Qt::Key_F3)}},
        {Image14, tr("Band %1 m").arg(20), {QKeySequence(Qt::Key_F4)}},
        {Image15, tr("Band %1 m").arg(17), {QKeySequence(Qt::Key_F5)}},
        {Image2, tr("Band %1 m").arg(15), {QKeySequence(Qt::Key_F6)}},
        {Image4, tr("Band %1 m").arg(12), {QKeySequence(Qt::Key_F7)}},
        {Image5, tr("Band %1 m").arg(10), {QKeySequence(Qt::Key_F8)}},
        {Image6, tr("Band %1 m").arg(6), {QKeySequence(Qt::Key_F9)}},
    };
    QWidget* previous = nullptr;
    for (const auto& a : areas) {
        a.area->MakeButton(a.name, WithKeys(a.name, a.keys));
        auto* key = new QAction(a.name, this);
        key->setObjectName(a.area->objectName() + QStringLiteral("Key"));
        key->setShortcuts(a.keys);
        key->setShortcutContext(Qt::WindowShortcut);
        addAction(key);
        // The chord retracts at once; a click of the area, from the mouse,
        // the keyboard or a screen reader, goes through the area's signals.
        connect(key, &QAction::triggered, a.area, &TImage::clicked);
        if (previous != nullptr)
            setTabOrder(previous, a.area);
        previous = a.area;
        // The read-out sits between the arrows, and is where the focus starts.
        if (a.area == Image17) {
            setTabOrder(Image17, lFreq);
            previous = lFreq;
        }
    }
    lFreq->setFocusPolicy(Qt::TabFocus);
    lFreq->setFocus();

    // The operator's way out, besides the window manager's Alt+F4.
    auto* quit = new QAction(tr("Quit"), this);
    quit->setObjectName(QStringLiteral("QuitKey"));
    // Ctrl+Q whatever the desktop's key scheme binds to Quit.
    QList<QKeySequence> quitKeys{QKeySequence(Qt::CTRL | Qt::Key_Q)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Quit)) {
        if (!quitKeys.contains(key))
            quitKeys << key;
    }
    quit->setShortcuts(quitKeys);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);

    // F10 opens the menu bar's first menu, as on other desktops.
    auto* menuKey = new QAction(this);
    menuKey->setObjectName(QStringLiteral("MenuKey"));
    menuKey->setShortcut(QKeySequence(Qt::Key_F10));
    connect(menuKey, &QAction::triggered, this, [this] {
        if (!mm1->actions().isEmpty())
            mm1->setActiveAction(mm1->actions().first());
    });
    addAction(menuKey);

    // Cut off, below or beyond the picture, or hidden: never in the focus
    // chain.
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             ckOmni1, ckOmni2, Button1, Image23, Image21, Image1, Image8, Image9, Image10, Image11})
        hidden->setFocusPolicy(Qt::NoFocus);
}
