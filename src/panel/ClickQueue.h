// The clicks on node buttons, served one after another without ever waiting for EchoLink.
//
// Each click asks EchoLink whether the call is linked, then asks it to drop the link when
// it is, or to link otherwise, acting on what EchoLink reports at that moment, not on the
// caption. A click is served only once the one before it has had its answers, so two
// quick clicks on one button link and then drop. A call that fails or is not answered
// within the call time-out ends that click silently; the next one is served all the same.
// At most MaxWaiting clicks wait behind the one being served; further clicks are dropped,
// so a flood of them (a stuck key, say) cannot pile up work without end.
#pragma once

#include <QObject>
#include <QQueue>
#include <QString>
#include <QTimer>
#include <memory>

class EchoLinkApplication;
class QDBusPendingCall;
class QDBusPendingCallWatcher;

class ClickQueue : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 64;

    explicit ClickQueue(const EchoLinkApplication &link, QObject *parent = nullptr);
    ~ClickQueue() override;

    // A click on a button carrying `call`.
    void add(const QString &call);
    bool isIdle() const { return !m_watcher && m_waiting.isEmpty(); }

Q_SIGNALS:
    // One click has been served, whatever became of it.
    void served();

private:
    void serveNext();
    void await(const QDBusPendingCall &call);
    void act(const QString &call);
    void finish();
    void dropWatcher();

    const EchoLinkApplication &m_link;
    QQueue<QString> m_waiting;
    std::unique_ptr<QDBusPendingCallWatcher> m_watcher;  // the call in flight, if any
    QTimer m_timeout;                                    // the call time-out of the call in flight
};
