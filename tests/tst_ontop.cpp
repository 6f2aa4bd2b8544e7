// Always on top and the view size on a real window manager, read back the way a
// desktop sees the window (xprop, xwininfo).
#include "PanelDriver.h"
#include "TestEnvironment.h"
#include "X11Probe.h"
#include "panel/frmMain.h"
#include "settings/PanelSettings.h"

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

bool isAbove(const QWidget &w)
{
    return X11Probe::netWmState(w.winId()).contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
}

// True when the first window is stacked above the second.
bool stackedAbove(const QWidget &upper, const QWidget &lower)
{
    const QList<WId> order = X11Probe::stackingOrder();
    const qsizetype u = order.indexOf(upper.winId()), l = order.indexOf(lower.winId());
    return u >= 0 && l >= 0 && u > l;
}

// Counts what would show a window being hidden, unmapped or re-created.
class WindowWatch : public QObject
{
public:
    explicit WindowWatch(QWidget *w)
    {
        w->installEventFilter(this);
        w->windowHandle()->installEventFilter(this);
    }
    int hides = 0;
    int surfaceChanges = 0;
    int winIdChanges = 0;
    int exposures = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        exposures += e->type() == QEvent::Expose;
        hides += e->type() == QEvent::Hide;
        surfaceChanges += e->type() == QEvent::PlatformSurface;
        winIdChanges += e->type() == QEvent::WinIdChange;
        return false;
    }
};

}  // namespace

using namespace PanelDriver;

class tst_ontop : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void onTopTakesEffectAtTheNextTickAndOffAtOnce();
    void tickCoversAWindowRaisedOverThePanel();
    void ticksNeverUnmapOrRecreateTheWindow();
    void userCannotResize();
    void viewChangeKeepsPositionAndWidth();
    void loadButtonDialogSuspendsOnTop();
    void oneStoredCoordinateKeepsTheOtherFromTheWindowManager();

private:
    void showPanel();
    TestHost host;
    std::unique_ptr<frmMain> w;
};

void tst_ontop::init()
{
    REQUIRE_WINDOW_MANAGER();
    w = std::make_unique<frmMain>(host);
    w->setWindowTitle(QStringLiteral("Dialboard ONTOPTEST"));
}

void tst_ontop::cleanup()
{
    w.reset();
}

void tst_ontop::showPanel()
{
    w->move(200, 150);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE(X11Probe::mapState(w->winId()), QStringLiteral("IsViewable"));
}

void tst_ontop::onTopTakesEffectAtTheNextTickAndOffAtOnce()
{
    showPanel();
    QSignalSpy ticks(timer(*w, "OnTop"), &QTimer::timeout);
    menuItem(*w, "mnuOnTop")->trigger();
    QVERIFY(menuItem(*w, "mnuOnTop")->isChecked());
    QVERIFY(timer(*w, "OnTop")->isActive());
    QTest::qWait(400);
    QCOMPARE(ticks.count(), 0);
    QVERIFY(!isAbove(*w));

    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(*w), 500);

    menuItem(*w, "mnuOnTop")->trigger();
    QVERIFY(!menuItem(*w, "mnuOnTop")->isChecked());
    QVERIFY(!timer(*w, "OnTop")->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(*w), 500);
    QTest::qWait(1200);
    QVERIFY(!isAbove(*w));
    QCOMPARE(ticks.count(), 1);
}

// Another always-on-top window shown after the panel lands above it; the next tick
// puts the panel back on top.
void tst_ontop::tickCoversAWindowRaisedOverThePanel()
{
    showPanel();
    QSignalSpy ticks(timer(*w, "OnTop"), &QTimer::timeout);
    menuItem(*w, "mnuOnTop")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(*w), 500);

    QWidget other(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    other.setWindowTitle(QStringLiteral("other on top"));
    other.setGeometry(150, 120, 300, 300);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    other.raise();
    QTRY_VERIFY_WITH_TIMEOUT(stackedAbove(other, *w), 2000);
    QVERIFY(ticks.count() == 1 || !stackedAbove(*w, other));

    const int before = ticks.count();
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() > before, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(stackedAbove(*w, other), 500);
    QVERIFY(isAbove(*w));
}

// With an ordinary window lying over part of the panel, the ticks keep the panel on
// top without ever uncovering, repainting, hiding or re-creating it.
void tst_ontop::ticksNeverUnmapOrRecreateTheWindow()
{
    showPanel();
    const WId id = w->winId();
    QSignalSpy ticks(timer(*w, "OnTop"), &QTimer::timeout);
    menuItem(*w, "mnuOnTop")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(*w), 500);

    QWidget ordinary;
    ordinary.setWindowTitle(QStringLiteral("ordinary"));
    ordinary.setGeometry(w->x() + 50, w->y() + 20, 300, 300);
    ordinary.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ordinary));
    QTRY_VERIFY(stackedAbove(*w, ordinary));
    QTest::qWait(200);

    WindowWatch watch(w.get());
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 4, 5000);
    QVERIFY(isAbove(*w));
    QVERIFY(stackedAbove(*w, ordinary));
    QCOMPARE(watch.exposures, 0);
    menuItem(*w, "mnuOnTop")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!isAbove(*w), 500);

    QCOMPARE(w->winId(), id);
    QCOMPARE(X11Probe::windowsNamed(w->windowTitle()), QList<WId>{id});
    QCOMPARE(X11Probe::mapState(id), QStringLiteral("IsViewable"));
    QCOMPARE(watch.hides, 0);
    QCOMPARE(watch.surfaceChanges, 0);
    QCOMPARE(watch.winIdChanges, 0);
}

// The window manager offers no resize, and a resize request from outside is held to
// the panel's size.
void tst_ontop::userCannotResize()
{
    showPanel();
    const QStringList actions =
        X11Probe::property(w->winId(), QStringLiteral("_NET_WM_ALLOWED_ACTIONS")).split(QStringLiteral(", "));
    QVERIFY2(!actions.isEmpty() && !actions.first().isEmpty(), "no allowed actions published");
    QVERIFY(!actions.contains(QStringLiteral("_NET_WM_ACTION_RESIZE")));
    QVERIFY(!actions.contains(QStringLiteral("_NET_WM_ACTION_MAXIMIZE_VERT")));
    QVERIFY(actions.contains(QStringLiteral("_NET_WM_ACTION_MINIMIZE")));

    const QRect before = X11Probe::frameGeometry(w->winId());
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowsize"), QString::number(w->winId()),
                                                  QStringLiteral("600"), QStringLiteral("700")});
    QTest::qWait(300);
    QCOMPARE(X11Probe::frameGeometry(w->winId()).size(), before.size());
    QCOMPARE(w->size(), QSize(2970 / 15, w->height()));
}

void tst_ontop::viewChangeKeepsPositionAndWidth()
{
    showPanel();
    const QRect small = X11Probe::frameGeometry(w->winId());
    const int rows17 = 5100 / 15;

    menuItem(*w, "mnuViewLarge")->trigger();
    QVERIFY(menuItem(*w, "mnuViewLarge")->isChecked() && !menuItem(*w, "mnuViewSmall")->isChecked());
    QTRY_COMPARE(X11Probe::frameGeometry(w->winId()).height(), small.height() + rows17);
    QRect large = X11Probe::frameGeometry(w->winId());
    QCOMPARE(large.topLeft(), small.topLeft());
    QCOMPARE(large.width(), small.width());

    // "View Small" while small is not checked: back to the small view.
    menuItem(*w, "mnuViewSmall")->trigger();
    QVERIFY(menuItem(*w, "mnuViewSmall")->isChecked() && !menuItem(*w, "mnuViewLarge")->isChecked());
    QTRY_COMPARE(X11Probe::frameGeometry(w->winId()), small);

    // "View Small" while small is checked: the large view again.
    menuItem(*w, "mnuViewSmall")->trigger();
    QVERIFY(menuItem(*w, "mnuViewLarge")->isChecked() && !menuItem(*w, "mnuViewSmall")->isChecked());
    QTRY_COMPARE(X11Probe::frameGeometry(w->winId()), large);
}

// While the Load Button dialog is open the panel is out of the always-on-top band and its
// timer is off; the first tick after the dialog closes puts it back.
void tst_ontop::loadButtonDialogSuspendsOnTop()
{
    showPanel();
    menuItem(*w, "mnuOnTop")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(*w), 2000);
    QSignalSpy ticks(timer(*w, "OnTop"), &QTimer::timeout);
    bool aboveWhileOpen = true, timerWhileOpen = true;
    QVERIFY(editButton(*w, 0, [&](frmLoadButtons *) {
        QTest::qWait(1300);
        aboveWhileOpen = isAbove(*w);
        timerWhileOpen = timer(*w, "OnTop")->isActive();
    }));
    QVERIFY(!aboveWhileOpen);
    QVERIFY(!timerWhileOpen);
    QCOMPARE(ticks.count(), 0);
    QVERIFY(timer(*w, "OnTop")->isActive());
    QVERIFY(!isAbove(*w));
    QTRY_COMPARE_WITH_TIMEOUT(ticks.count(), 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(isAbove(*w), 500);

    menuItem(*w, "mnuOnTop")->trigger();
    QVERIFY(editButton(*w, 1, [](frmLoadButtons *) {}));
    QVERIFY(!timer(*w, "OnTop")->isActive());
}

// Only ScrnTop is stored: the panel takes that top edge, and its left edge stays where
// the window manager placed it (not 0). A window at the top-left corner makes the window
// manager place new windows elsewhere; a plain window of the panel's size shows where.
void tst_ontop::oneStoredCoordinateKeepsTheOtherFromTheWindowManager()
{
    QWidget corner;
    corner.setWindowTitle(QStringLiteral("corner"));
    corner.setGeometry(0, 0, 400, 300);
    corner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&corner));

    QRect placedByManager;
    {
        QWidget reference;
        reference.setWindowTitle(QStringLiteral("reference"));
        reference.setFixedSize(w->size());
        reference.show();
        QVERIFY(QTest::qWaitForWindowExposed(&reference));
        QTest::qWait(200);
        placedByManager = X11Probe::frameGeometry(reference.winId());
    }
    QVERIFY2(placedByManager.x() > 0, "the window manager placed the window at the left edge");
    QTest::qWait(200);

    PanelSettings stored;
    stored.top = 3000;  // 200 pixels
    w->applySettings(stored);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE(X11Probe::frameGeometry(w->winId()).y(), 200);
    QCOMPARE(X11Probe::frameGeometry(w->winId()).x(), placedByManager.x());
}

DIALBOARD_TEST_MAIN(tst_ontop, WindowManager)
#include "tst_ontop.moc"
