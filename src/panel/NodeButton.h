// One node button of the panel: it carries a call and shows whether EchoLink reports
// that node as linked.
//
// The caption is the call, with a leading "*" when linked; an "&" in a call shows as
// itself, never as an accelerator mark. A linked button is also drawn pressed in, a state
// no call can imitate, without being checkable: only the refresh changes it, never a
// click. The tooltip and the accessibility interface (NodeButtonAccessible) follow the
// call and the link state, and tell why the last try to link failed ("Last try: no
// answer") until that is over: the call changes, the button links, or the panel clears it.
//
// From the keyboard, Space or Enter activates a focused button (once however long the
// key is held), and the context-menu
// key or Shift+F10 asks for its Load Button dialog, as a right-button release does.
#pragma once

#include <QPushButton>

class NodeButton : public QPushButton
{
    Q_OBJECT
public:
    // `index` is the button's place in the call table, 0 to 39.
    explicit NodeButton(int index, QWidget *parent = nullptr);

    int index() const { return m_index; }
    QString call() const { return m_call; }
    bool isLinked() const { return m_linked; }
    // The caption as the user reads it: the call, with "*" in front when linked.
    QString caption() const;

    void setCall(const QString &call);
    void setLinked(bool linked);
    // What became of the last try to link, as the operator reads it ("no answer"); empty
    // when there is nothing to tell. A change is told to assistive technology.
    void setLastTry(const QString &outcome);
    QString lastTry() const { return m_lastTry; }

    // What assistive technology reads: the call, or "Empty button N" (N = index + 1).
    QString screenReaderName() const;
    // "linked" or "not linked", then "Last try: ..." when the last try failed.
    QString linkDescription() const;
    // False while the button lies outside what its window shows (the small view).
    bool isShowing() const;

    // A click from the keyboard (or from assistive technology).
    void activateFromKeyboard();

Q_SIGNALS:
    // The button was clicked; `fromKeyboard` when by Space, Enter or assistive
    // technology rather than the mouse.
    void activated(bool fromKeyboard);
    // The context-menu key or Shift+F10 asks to set the button's call.
    void callEditRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void updateCaption();
    void updateToolTip();
    void tellDescriptionChanged();
    QString linkState() const;
    QString lastTryLine() const;

    const int m_index;
    QString m_call;
    bool m_linked = false;
    QString m_lastTry;
    bool m_keyboardClick = false;  // the click under way comes from the keyboard
};
