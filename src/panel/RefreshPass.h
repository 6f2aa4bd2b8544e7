// One refresh of the 40 captions, without ever waiting for EchoLink.
//
// All 40 questions ("is this call linked?") go out together, in button order, so the
// pass costs about one round trip. The answers are taken in button order: each one as
// soon as it and every one before it have arrived. The pass fails, and ends, at the first
// error answer, or when the next answer is not in within the call time-out of the one
// before it (of the start, for the first): a slow server that answers one call at a time
// still gets through all 40, and a hung one ends the pass after one time-out.
#pragma once

#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <vector>

class EchoLinkApplication;
class QDBusPendingCallWatcher;

class RefreshPass : public QObject {
    Q_OBJECT
public:
    static constexpr int CallCount = 40;

    // Sends the questions for `calls`, exactly as given, the empty ones included.
    RefreshPass(const EchoLinkApplication &link, const std::array<QString, CallCount> &calls,
                QObject *parent = nullptr);
    ~RefreshPass() override;

Q_SIGNALS:
    // The answer for button `index`, in button order.
    void answered(int index, bool linked);
    // The pass is over: all 40 answered, or stopped at a failure. Sent once.
    void ended();

private:
    void takeAnswers();
    void stop();

    std::vector<QDBusPendingCall> m_calls;
    std::vector<QDBusPendingCallWatcher *> m_watchers;
    QTimer m_silence;  // the time-out for the next answer in order
    int m_next = 0;
    bool m_over = false;
};
