// The responsive wait: its length, the events dispatched during it, and how rarely the
// thread wakes when nothing happens.
#include "TestEnvironment.h"
#include "app/WaitSeconds.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <sys/resource.h>

using WaitTimer::WaitSeconds;

namespace {

// A window that counts what reaches it.
class CountingWidget : public QWidget
{
public:
    int paints = 0;
    int keys = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        QPainter(this).fillRect(rect(), paints % 2 ? Qt::white : Qt::gray);
    }
    void keyPressEvent(QKeyEvent *) override { ++keys; }
};

long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

}  // namespace

class tst_wait : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lastsTheGivenSecondsWhileWindowsKeepWorking();
    void inputDuringTheWaitDoesNotLengthenIt();
    void idleWaitBarelyWakesTheThread();
    void belowOneSecondDispatchesOnceAndReturns();
};

// The window repaints and the timers of the program keep ticking during the wait.
void tst_wait::lastsTheGivenSecondsWhileWindowsKeepWorking()
{
    CountingWidget window;
    window.resize(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int paintsBefore = window.paints;

    QTimer repaint;
    repaint.setInterval(100);
    QObject::connect(&repaint, &QTimer::timeout, &window, [&window] { window.repaint(); });
    repaint.start();

    QElapsedTimer clock;
    clock.start();
    WaitSeconds(3);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 3000 && elapsed <= 3030, qPrintable(QString::number(elapsed)));
    QVERIFY2(window.paints - paintsBefore >= 25, qPrintable(QString::number(window.paints)));
}

// Keys arriving throughout the wait are handled as they come, and the wait still ends at
// its first deadline.
void tst_wait::inputDuringTheWaitDoesNotLengthenIt()
{
    CountingWidget window;
    window.resize(100, 100);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QTimer typist;
    typist.setInterval(37);
    QObject::connect(&typist, &QTimer::timeout, &window, [&window] {
        QTest::keyClick(&window, Qt::Key_A);
        QTest::mouseMove(&window, QPoint(10 + window.keys % 50, 20));
    });
    typist.start();

    QElapsedTimer clock;
    clock.start();
    WaitSeconds(2);
    const qint64 elapsed = clock.elapsed();
    typist.stop();
    QVERIFY2(elapsed >= 2000 && elapsed <= 2030, qPrintable(QString::number(elapsed)));
    QVERIFY2(window.keys >= 40, qPrintable(QString::number(window.keys)));
}

// No polling: with nothing to do, the thread sleeps through the wait.
void tst_wait::idleWaitBarelyWakesTheThread()
{
    QCoreApplication::processEvents();
    const long before = voluntarySwitches();
    WaitSeconds(2);
    const long switches = voluntarySwitches() - before;
    QVERIFY2(switches <= 5, qPrintable(QString::number(switches)));
}

void tst_wait::belowOneSecondDispatchesOnceAndReturns()
{
    for (const int seconds : {0, -1, -2147483647 - 1}) {
        bool delivered = false;
        QMetaObject::invokeMethod(
            this, [&delivered] { delivered = true; }, Qt::QueuedConnection);
        QElapsedTimer clock;
        clock.start();
        WaitSeconds(seconds);
        QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(delivered);
    }
}

DIALBOARD_TEST_MAIN(tst_wait, Offscreen)
#include "tst_wait.moc"
