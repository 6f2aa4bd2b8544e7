// Answers the next message box the program under test shows, from inside its modal
// loop: records what the box showed and when, then presses OK.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QElapsedTimer;
class QObject;

struct BoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    qint64 after = -1;                // ms since the clock started; -1 until a box was seen
    std::function<void()> whileOpen;  // run while the box is up, before OK is pressed
};

// Looks for a modal message box every 20 ms until one comes, for as long as `context`
// lives; `seen` and `clock` must outlive the wait.
void answerNextBox(QObject *context, BoxSeen &seen, const QElapsedTimer &clock);
