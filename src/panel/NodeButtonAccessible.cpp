#include "panel/NodeButtonAccessible.h"

#include "panel/NodeButton.h"

namespace {

QAccessibleInterface *createForNodeButton(const QString &className, QObject *object)
{
    if (className == QLatin1String(NodeButton::staticMetaObject.className()))
        return new NodeButtonAccessible(static_cast<NodeButton *>(object));
    return nullptr;
}

}  // namespace

NodeButtonAccessible::NodeButtonAccessible(NodeButton *button)
    : QAccessibleWidget(button, QAccessible::Button)
{}

void NodeButtonAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(createForNodeButton);
        return true;
    }();
    Q_UNUSED(installed);
}

NodeButton *NodeButtonAccessible::button() const
{
    return static_cast<NodeButton *>(widget());
}

QString NodeButtonAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return button()->screenReaderName();
    case QAccessible::Description:
        return button()->linkDescription();
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State NodeButtonAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    if (button()->isLinked()) {
        state.checkable = true;
        state.checked = true;
    }
    if (!button()->isShowing()) {
        state.invisible = true;
        state.focusable = false;
    }
    return state;
}

// Pressing the button from assistive technology is a click from the keyboard.
QStringList NodeButtonAccessible::actionNames() const
{
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
}

void NodeButtonAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction())
        button()->activateFromKeyboard();
    else
        QAccessibleWidget::doAction(actionName);
}
