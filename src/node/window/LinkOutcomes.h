// What happens to each link, in the window: a status line with the latest ("linking with
// N0ABC-L", "N0ABC-L: no answer after 50 s", ...) and a short history with times. The
// status line's accessible name carries the text, so a screen reader hears each change.
#pragma once

#include <QWidget>

class QLabel;
class QListWidget;

class LinkOutcomes : public QWidget
{
    Q_OBJECT

public:
    explicit LinkOutcomes(QWidget *parent = nullptr);

    // Lines the history keeps, newest last.
    static constexpr int HistoryLines = 20;

    // The sentence for a link's new state (Automation's state names) or failure
    // (Automation's reasons; text: what the far station said last).
    static QString stateText(const QString &call, const QString &state);
    static QString failureText(const QString &call, const QString &reason, const QString &text,
                               int noAnswerSeconds);

    void add(const QString &line);
    QString status() const;
    QWidget *history() const;

private:
    QLabel *m_status = nullptr;
    QListWidget *m_history = nullptr;
};
