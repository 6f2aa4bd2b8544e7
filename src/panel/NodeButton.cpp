#include "panel/NodeButton.h"

#include "panel/NodeButtonAccessible.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

NodeButton::NodeButton(int index, QWidget *parent) : QPushButton(parent), m_index(index)
{
    NodeButtonAccessible::install();
    setObjectName(QStringLiteral("cmdRemoteNode%1").arg(index));
    setAutoDefault(false);
    updateToolTip();
    connect(this, &QAbstractButton::clicked, this, [this] { Q_EMIT activated(m_keyboardClick); });
}

QString NodeButton::caption() const
{
    return m_linked ? QLatin1Char('*') + m_call : m_call;
}

void NodeButton::setCall(const QString &call)
{
    if (call == m_call)
        return;
    m_call = call;
    updateCaption();  // the caption's change tells assistive technology the new name
    setLastTry({});   // that try was another call's
    updateToolTip();
}

void NodeButton::setLinked(bool linked)
{
    if (linked == m_linked)
        return;
    m_linked = linked;
    if (linked)
        m_lastTry.clear();
    updateCaption();
    updateToolTip();
    update();

    QAccessible::State changed;
    changed.checked = true;
    changed.checkable = true;
    QAccessibleStateChangeEvent stateChange(this, changed);
    QAccessible::updateAccessibility(&stateChange);
    tellDescriptionChanged();
}

void NodeButton::setLastTry(const QString &outcome)
{
    if (outcome == m_lastTry)
        return;
    m_lastTry = outcome;
    updateToolTip();
    tellDescriptionChanged();
}

void NodeButton::tellDescriptionChanged()
{
    QAccessibleEvent descriptionChange(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&descriptionChange);
}

QString NodeButton::screenReaderName() const
{
    return m_call.isEmpty() ? tr("Empty button %1").arg(m_index + 1) : m_call;
}

QString NodeButton::linkDescription() const
{
    return m_lastTry.isEmpty() ? linkState() : linkState() + QStringLiteral(". ") + lastTryLine();
}

QString NodeButton::linkState() const
{
    return m_linked ? tr("linked") : tr("not linked");
}

QString NodeButton::lastTryLine() const
{
    return tr("Last try: %1").arg(m_lastTry);
}

bool NodeButton::isShowing() const
{
    return isVisible() && !visibleRegion().isEmpty();
}

void NodeButton::updateCaption()
{
    QString shown = caption();
    setText(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
}

// Rich text with the call escaped, so a call that looks like markup shows as typed.
void NodeButton::updateToolTip()
{
    QString lines;
    if (m_call.isEmpty()) {
        lines = tr("Right-click to set a call") + QStringLiteral("<br>")
                + tr("(from the keyboard: the context-menu key or Shift+F10)");
    } else {
        lines = m_call.toHtmlEscaped() + QStringLiteral(" \u2014 ") + linkState() + QStringLiteral("<br>");
        if (!m_lastTry.isEmpty())
            lines += lastTryLine().toHtmlEscaped() + QStringLiteral("<br>");
        lines += (m_linked ? tr("Click to drop") : tr("Click to link")) + QStringLiteral("<br>")
                 + tr("Right-click to change");
    }
    setToolTip(QStringLiteral("<qt>") + lines + QStringLiteral("</qt>"));
}

void NodeButton::activateFromKeyboard()
{
    m_keyboardClick = true;
    click();
    m_keyboardClick = false;
}

void NodeButton::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        // Held down, Enter clicks once, as Space does: its auto-repeat is not a click.
        if (!event->isAutoRepeat())
            activateFromKeyboard();
        return;
    }
    if (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
        Q_EMIT callEditRequested();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// Space clicks on its release.
void NodeButton::keyReleaseEvent(QKeyEvent *event)
{
    m_keyboardClick = true;
    QPushButton::keyReleaseEvent(event);
    m_keyboardClick = false;
}

// The context-menu key; a right mouse button is the release's business, not this.
void NodeButton::contextMenuEvent(QContextMenuEvent *event)
{
    if (event->reason() == QContextMenuEvent::Keyboard) {
        event->accept();
        Q_EMIT callEditRequested();
        return;
    }
    event->ignore();
}

// A plain push button, drawn pressed in while linked.
void NodeButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (m_linked)
        option.state |= QStyle::State_Sunken | QStyle::State_On;
    painter.drawControl(QStyle::CE_PushButton, option);
}
