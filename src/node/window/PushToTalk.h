// The push-to-talk control of the window: a large button held with the mouse, and the space
// bar anywhere in the window but the chat box; or, in toggle mode, pressed once to key up
// and once more to stop. Key auto-repeat never counts as a press. The transmitter is
// released when the window loses the focus or is hidden, since a key or button let go
// elsewhere would never be seen.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QPushButton;
class QWidget;

class PushToTalk : public QObject
{
    Q_OBJECT

public:
    // button: the control; window: where the space bar counts; exempt: a widget of it
    // where the space bar is typed, not pressed to talk.
    PushToTalk(QPushButton *button, QWidget *window, QWidget *exempt);
    // Another widget of the window where the space bar is typed.
    void exempt(QWidget *widget) { m_exempt << widget; }

    void setToggleMode(bool toggle);
    bool toggleMode() const { return m_toggle; }
    // Shows whether the node transmits: red and saying so while it does.
    void showTransmitting(bool on);
    // Lets go of the transmitter.
    void release();

Q_SIGNALS:
    // The user wants the transmitter on or off.
    void transmitWanted(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void press();
    void letGo();

    QPushButton *m_button;
    QWidget *m_window;
    QList<QPointer<QWidget>> m_exempt;
    // X reports a held key's auto-repeat as releases and presses; Qt marks most as such,
    // but not a release whose press has not arrived yet. A press this soon after a
    // release is the repeat, and a release counts only once no press follows it.
    QTimer m_releaseGrace;
    bool m_toggle = false;
    bool m_keyed = false;  // what the user asked for last
};
