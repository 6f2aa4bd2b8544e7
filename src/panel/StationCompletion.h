// Completion of a call from EchoLink's station list, for one text box.
//
// The list is asked for once, without waiting, when this is made; answered within the
// call time-out, the box gets a popup of the stations whose call starts with what is
// typed (call and location; case ignored). Late, failed or empty answers leave the box
// as it was: no completion at all.
//
// Keys while the popup is open go to the popup, past the box's own event filters. Up
// and Down pick a row, which fills the box; Escape closes the popup; Enter on a picked
// row puts its call in the box and closes the popup; Enter with no row picked closes the
// popup and says so (enterWithoutChoice), so the typed text can stand as entered.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

class EchoLinkStation;
class QCompleter;
class QDBusPendingCallWatcher;
class QLineEdit;

class StationCompletion : public QObject
{
    Q_OBJECT
public:
    StationCompletion(QLineEdit *box, const EchoLinkStation &station, QObject *parent = nullptr);
    ~StationCompletion() override;

    // The box completes (the list came in time and was not empty).
    bool isReady() const { return m_completer != nullptr; }

Q_SIGNALS:
    void ready();
    void enterWithoutChoice();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void take();
    void dropWatcher();

    QLineEdit *m_box;
    std::unique_ptr<QDBusPendingCallWatcher> m_watcher;
    QTimer m_timeout;
    QCompleter *m_completer = nullptr;
};
