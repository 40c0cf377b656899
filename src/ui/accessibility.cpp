#include "ui/accessibility.h"

#include "ui/image_box.h"
#include "ui/shape.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace koravel {

namespace {

// A click area: a button whose press is the area's click.
class ClickAreaAccessible final : public QAccessibleWidget {
public:
    explicit ClickAreaAccessible(TImage* area) : QAccessibleWidget(area, QAccessible::Button) {}

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction())
            static_cast<TImage*>(widget())->Activate();
        else
            QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == pressAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(name);
    }
};

QList<QWidget*> ShownChildren(const QWidget* parent) {
    QList<QWidget*> shown;
    for (QObject* object : parent->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child != nullptr && !child->isWindow() && ShownToOperator(child))
            shown << child;
    }
    return shown;
}

// A panel whose tree holds only the children the operator can see.
class PanelAccessible final : public QAccessibleWidget {
public:
    explicit PanelAccessible(QWidget* panel) : QAccessibleWidget(panel, QAccessible::Pane) {}

    int childCount() const override { return static_cast<int>(ShownChildren(widget()).size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> shown = ShownChildren(widget());
        if (index < 0 || index >= shown.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(shown.at(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr || !child->object() || !child->object()->isWidgetType())
            return -1;
        return static_cast<int>(
            ShownChildren(widget()).indexOf(static_cast<QWidget*>(child->object())));
    }
};

QAccessibleInterface* WindowFactory(const QString& className, QObject* object) {
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (auto* area = qobject_cast<TImage*>(widget); area != nullptr && area->isButton())
        return new ClickAreaAccessible(area);
    // The window's plain panels; Qt's own controls keep their interfaces.
    if (className == QLatin1String("QWidget") || className == QLatin1String("QFrame"))
        return new PanelAccessible(widget);
    return nullptr;
}

} // namespace

bool ShownToOperator(const QWidget* child) {
    const QWidget* parent = child->parentWidget();
    if (parent == nullptr || !child->isVisibleTo(parent))
        return false;
    // Pictures without an action and lamps are decoration: what they show
    // is said in words elsewhere.
    if (auto* image = qobject_cast<const TImage*>(child); image != nullptr && !image->isButton())
        return false;
    if (qobject_cast<const TShape*>(child) != nullptr)
        return false;
    const QRect inside = child->geometry() & parent->rect();
    return inside.width() > 1 && inside.height() > 1;
}

void InstallAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(WindowFactory);
}

} // namespace koravel
