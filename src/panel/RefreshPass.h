// One refresh of the 40 captions, without ever waiting for EchoLink.
//
// All 40 questions ("is this call linked?") go out together, in button order, so the
// pass costs about one round trip. The answers are taken in button order, each once it
// and every one before it are in. The pass fails, and ends, at the first error answer, or
// when the next answer in order is not in within the call time-out of the one before it
// (of the start, for the first): a slow server that answers one call at a time still gets
// through all 40, and a hung one ends the pass after one time-out.
//
// Each answer Qt's bus thread hands over wakes this thread, so the pass watches one
// answer at a time: the last question's, which comes last from a server that answers in
// order; once it is in, the first one still missing. While the pass waits, it looks at
// the answers every PollMs, so an answer is taken at most that late and the time-out
// is kept to within that much.
#pragma once

#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <vector>

class EchoLinkApplication;
class QDBusPendingCallWatcher;

class RefreshPass : public QObject
{
    Q_OBJECT
public:
    static constexpr int CallCount = 40;
    static constexpr int PollMs = 50;

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
    void watch(int index);
    bool takeInOrder();
    void takeAnswers();
    void poll();
    void stop();

    std::vector<QDBusPendingCall> m_calls;
    std::unique_ptr<QDBusPendingCallWatcher> m_watcher;  // the one answer awaited
    int m_watched = 0;
    QTimer m_poll;
    QElapsedTimer m_sinceLastAnswer;  // since the last answer taken, or the start
    int m_next = 0;                   // the next answer to take, in button order
    bool m_over = false;
};
