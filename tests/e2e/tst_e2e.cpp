// The built panel and the EchoLink stand-in run as a user runs them, on a real X server
// with a window manager, driven only by real pointer and key events (xdotool) and
// checked from outside: the stand-in's call log, the settings file, the window
// manager's view of the windows and the pixels on the screen.
//
// Each test leaves a picture of the whole screen in e2e-output/<test>.png.
#include "Desktop.h"
#include "PanelProcess.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "X11Probe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTest>

namespace {

const QString Callsign = QStringLiteral("K1XYZ-L");
const QString PanelTitle = QStringLiteral("Dialboard K1XYZ");
const QString LoadButtonTitle = QStringLiteral("Load Button");
const QString StandInTitle = QStringLiteral("EchoLink (stand-in)");

// Generous bounds: start-up alone waits 7 s before the panel shows.
constexpr int StartUpTimeoutMs = 20000;
// One caption refresh is 5 s; the slack covers a loaded machine.
constexpr int OneRefreshMs = 5000 + 2000;
// One always-on-top tick is 1 s.
constexpr int OneOnTopTickMs = 1000 + 1500;

// Button grid in pixels at 96 DPI: 99 x 20 buttons, the right column starting at x 100
// and clipped by the 198-pixel-wide window; small view 3 rows, large view 20.
constexpr int PanelWidth = 198;
constexpr int SmallViewArea = 60;
constexpr int LargeViewArea = 400;

QString settingsPath()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf");
}

// Starts the run with these values in the settings file, as an earlier run left them,
// and the panel at 100, 100 px, clear of the stand-in's window in the middle of the screen.
void seedSettings(QMap<QString, QString> values)
{
    values.insert(QStringLiteral("ScrnTop"), QString::number(100 * 15));
    values.insert(QStringLiteral("ScrnLeft"), QString::number(100 * 15));
    QDir(TestEnvironment::configHome()).removeRecursively();
    QByteArray settings = "[Settings]\n";
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings += (it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n')).toUtf8();
    QVERIFY(PanelProcess::seedSettings(TestEnvironment::configHome(), settings));
}

// The [Settings] section of the settings file as it is on disk now.
QMap<QString, QString> storedSettings()
{
    QMap<QString, QString> values;
    QFile file(settingsPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    bool inSettings = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('['))) {
            inSettings = line.trimmed() == QLatin1String("[Settings]");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (inSettings && eq > 0)
            values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return values;
}

QStringList allSettingKeys()
{
    QStringList keys = {QStringLiteral("ScrnTop"), QStringLiteral("ScrnLeft"), QStringLiteral("OnTop"),
                        QStringLiteral("ViewLarge"), QStringLiteral("ViewSmall")};
    for (int i = 0; i < 40; ++i)
        keys << QStringLiteral("NodeCall%1").arg(i);
    return keys;
}

// True when the first window is stacked above the second.
bool stackedAbove(WId upper, WId lower)
{
    const QList<WId> order = X11Probe::stackingOrder();
    const qsizetype u = order.indexOf(upper), l = order.indexOf(lower);
    return u >= 0 && l >= 0 && u > l;
}

// How many different colours a picture holds: a drawn button has its edges and face,
// an empty background one colour.
int colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

// What the test saw while the panel started.
struct StartUp
{
    WId splash = 0;
    QRect splashClient;
    QMargins splashFrame;
    QStringList splashState;
    QStringList splashTypes;
    qint64 splashFirstSeenMs = -1;
    qint64 splashLastSeenMs = -1;
    bool splashUpWithPanel = false;
};

}  // namespace

// Runs a helper that may fail the test, and leaves the test when it did.
#define DO(step)                                                                                             \
    do {                                                                                                     \
        step;                                                                                                \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

class tst_e2e : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void startUpShowsSplashThenPanelTitledWithCallsign();
    void leftClickLinksNodeAndMarksItAtTheNextRefresh();
    void rightClickEditsCallAndSavesAtOnce();
    void viewLargeShowsAllFortyButtons();
    void alwaysOnTopStaysAboveAnotherOnTopWindow();
    void closeEchoLinkClosesPanelAndSaves();

private:
    void startStandIn(bool withWindow = false);
    void startPanel(StartUp *seen = nullptr);
    QRect buttonRect(int index) const;
    QPoint buttonCentre(int index) const;
    QImage buttonImage(int index);
    void openOptionsMenu(QRect *menu);
    void chooseOption(const QString &itemTitle);

    SimProcess m_sim;
    PanelProcess m_panel;
    WId m_window = 0;
    QRect m_client;
    QMargins m_frame;
    int m_menuHeight = 0;
    std::unique_ptr<QWidget> m_other;
};

void tst_e2e::initTestCase()
{
    REQUIRE_WINDOW_MANAGER();
    if (!Desktop::haveTools())
        QSKIP("needs xdotool, xwininfo, xprop and import (scripts/deps.sh --tests)");
    QVERIFY(QDir().mkpath(QStringLiteral(E2E_OUTPUT_DIR)));
}

void tst_e2e::cleanup()
{
    Desktop::saveScreenshot(
        QStringLiteral(E2E_OUTPUT_DIR "/%1.png").arg(QString::fromLatin1(QTest::currentTestFunction())));
    m_other.reset();
    m_panel.stop();
    m_sim.stop();
    m_window = 0;
}

void tst_e2e::startStandIn(bool withWindow)
{
    QStringList arguments = {QStringLiteral("--callsign"), Callsign};
    if (withWindow)
        arguments << QStringLiteral("--window");
    QVERIFY2(m_sim.start(arguments), "the EchoLink stand-in did not start");
}

// Starts the built panel and follows its start-up from outside: a splash window without
// a title comes first, then, once it has gone, the panel titled with the callsign.
void tst_e2e::startPanel(StartUp *seen)
{
    StartUp local;
    StartUp &s = seen ? *seen : local;
    QElapsedTimer clock;
    clock.start();
    bool measured = false;
    QVERIFY2(m_panel.start(), "the panel program did not start");

    while (!m_window && clock.elapsed() < StartUpTimeoutMs) {
        QVERIFY2(m_panel.state() == QProcess::Running, "the panel ended during start-up");
        bool splashUp = false;
        for (const WId window : Desktop::visibleWindowsOf(m_panel.processId())) {
            const QString name = Desktop::title(window);
            if (name == PanelTitle) {
                m_window = window;
            } else if (name.isEmpty()) {
                splashUp = true;
                if (!s.splash) {
                    s.splash = window;
                    s.splashFirstSeenMs = clock.elapsed();
                }
                s.splashLastSeenMs = clock.elapsed();
                // Measured once, a second after it appeared: settled by then, and
                // seconds before it goes away.
                if (!measured && s.splashLastSeenMs - s.splashFirstSeenMs >= 1000) {
                    measured = true;
                    s.splashClient = Desktop::clientGeometry(window);
                    s.splashFrame = Desktop::frameExtents(window);
                    s.splashState = X11Probe::netWmState(window);
                    s.splashTypes = X11Probe::windowTypes(window);
                }
            }
        }
        s.splashUpWithPanel = m_window && splashUp;
        if (!m_window)
            QTest::qWait(100);
    }
    QVERIFY2(s.splash, "no splash window (a mapped window without a title) during start-up");
    QVERIFY2(measured, "the splash went away within a second");
    QVERIFY2(m_window, qPrintable(QStringLiteral("no window titled \"%1\" within %2 s")
                                      .arg(PanelTitle)
                                      .arg(StartUpTimeoutMs / 1000)));
    QVERIFY2(!s.splashUpWithPanel, "the splash was still up when the panel appeared");

    // Settings seeded by the tests never set the view, so the panel starts small: the
    // menu bar is whatever the client area has above the three rows.
    QTRY_VERIFY_WITH_TIMEOUT(Desktop::frameExtents(m_window).top() > 0, 5000);
    m_client = Desktop::clientGeometry(m_window);
    m_frame = Desktop::frameExtents(m_window);
    QCOMPARE(m_client.width(), PanelWidth);
    m_menuHeight = m_client.height() - SmallViewArea;
    QVERIFY2(m_menuHeight > 10 && m_menuHeight < 60,
             qPrintable(QStringLiteral("client area %1 px high").arg(m_client.height())));
    Desktop::parkPointer();
    QVERIFY(!Desktop::stableGrab(m_window).isNull());
}

// Node button `index` in the client area: row r holds button r on the left and button
// 39 - r on the right.
QRect tst_e2e::buttonRect(int index) const
{
    const bool left = index < 20;
    const int row = left ? index : 39 - index;
    return QRect(left ? 0 : 100, m_menuHeight + 20 * row, left ? 99 : PanelWidth - 100, 20);
}

QPoint tst_e2e::buttonCentre(int index) const
{
    return m_client.topLeft() + buttonRect(index).center();
}

QImage tst_e2e::buttonImage(int index)
{
    return Desktop::stableGrab(m_window).copy(buttonRect(index));
}

// Clicks "Options" in the menu bar and gives the open menu's place on the screen.
void tst_e2e::openOptionsMenu(QRect *place)
{
    Desktop::click(m_client.topLeft() + QPoint(25, m_menuHeight / 2));
    WId menu = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const WId window : Desktop::visibleWindowsOf(m_panel.processId())) {
                if (window != m_window)
                    menu = window;
            }
            return menu != 0;
        }(),
        3000);
    *place = Desktop::clientGeometry(menu);
}

// Opens the Options menu and clicks an item: "View Large" is the first row of the menu,
// "Always On Top" the last.
void tst_e2e::chooseOption(const QString &itemTitle)
{
    QRect menu;
    DO(openOptionsMenu(&menu));
    const bool first = itemTitle == QLatin1String("View Large");
    QVERIFY(first || itemTitle == QLatin1String("Always On Top"));
    Desktop::click(QPoint(menu.left() + menu.width() / 2, first ? menu.top() + 10 : menu.bottom() - 10));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::visibleWindowsOf(m_panel.processId()).size(), 1, 3000);
    Desktop::parkPointer();
}

void tst_e2e::startUpShowsSplashThenPanelTitledWithCallsign()
{
    DO(seedSettings({{QStringLiteral("NodeCall0"), QStringLiteral("W1AW")}}));
    DO(startStandIn());
    StartUp seen;
    DO(startPanel(&seen));

    // The splash: centred on the screen, no title bar (its frame, if any, is as thin at
    // the top as at the sides), kept out of the taskbar.
    const QRect splashFrame = seen.splashClient.marginsAdded(seen.splashFrame);
    const QSize screen = Desktop::screenSize();
    // Twice the gap on each side compared, so odd sizes need no rounding.
    QVERIFY2(std::abs(2 * splashFrame.x() + splashFrame.width() - screen.width()) <= 2
                 && std::abs(2 * splashFrame.y() + splashFrame.height() - screen.height()) <= 2,
             qPrintable(QStringLiteral("splash at %1,%2 %3x%4")
                            .arg(splashFrame.x())
                            .arg(splashFrame.y())
                            .arg(splashFrame.width())
                            .arg(splashFrame.height())));
    QCOMPARE(seen.splashFrame.top(), seen.splashFrame.left());
    QVERIFY2(seen.splashState.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR"))
                 || seen.splashTypes.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_SPLASH")),
             qPrintable(seen.splashState.join(u' ') + u' ' + seen.splashTypes.join(u' ')));
    // It stays up through the 3 s wait and the 4 s wait while attaching.
    QVERIFY2(
        seen.splashLastSeenMs - seen.splashFirstSeenMs >= 6000,
        qPrintable(
            QStringLiteral("splash seen for %1 ms").arg(seen.splashLastSeenMs - seen.splashFirstSeenMs)));

    // The panel: an ordinary decorated window, and it asked EchoLink for the callsign and
    // about its buttons.
    QVERIFY(Desktop::frameExtents(m_window).top() > Desktop::frameExtents(m_window).left());
    const QStringList calls = m_sim.calls();
    QVERIFY(calls.contains(QStringLiteral("Callsign")));
    QVERIFY(calls.contains(QStringLiteral("IsConnected W1AW")));
}

void tst_e2e::leftClickLinksNodeAndMarksItAtTheNextRefresh()
{
    DO(seedSettings({{QStringLiteral("NodeCall0"), QStringLiteral("W1AW")},
                     {QStringLiteral("NodeCall1"), QStringLiteral("K2ABC")}}));
    DO(startStandIn());
    DO(startPanel());
    const QImage unlinked = buttonImage(0);
    const QImage neighbour = buttonImage(1);
    QVERIFY(!unlinked.isNull() && unlinked != neighbour);

    m_sim.clearCalls();
    Desktop::click(buttonCentre(0));
    QElapsedTimer sinceClick;
    sinceClick.start();
    Desktop::parkPointer();
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.calls().contains(QStringLiteral("Connect W1AW 0")), 3000);

    // The "*" comes with the next refresh; nothing else on the panel changes.
    QTRY_VERIFY_WITH_TIMEOUT(buttonImage(0) != unlinked, OneRefreshMs);
    QVERIFY2(sinceClick.elapsed() <= OneRefreshMs,
             qPrintable(QStringLiteral("caption changed %1 ms after the click").arg(sinceClick.elapsed())));
    QCOMPARE(buttonImage(1), neighbour);
    const QStringList calls = m_sim.calls();
    QVERIFY(calls.lastIndexOf(QStringLiteral("IsConnected W1AW"))
            > calls.indexOf(QStringLiteral("Connect W1AW 0")));

    // The far end drops the link: the next refresh gives the button its plain caption,
    // pixel for pixel, so what changed was the link mark.
    m_sim.setLinked(QStringLiteral("W1AW"), false);
    QTRY_COMPARE_WITH_TIMEOUT(buttonImage(0), unlinked, OneRefreshMs);
}

void tst_e2e::rightClickEditsCallAndSavesAtOnce()
{
    DO(seedSettings({{QStringLiteral("NodeCall0"), QStringLiteral("W1AW")},
                     {QStringLiteral("NodeCall1"), QStringLiteral("K2ABC")}}));
    DO(startStandIn());
    DO(startPanel());
    const QImage before = buttonImage(1);

    Desktop::click(buttonCentre(1), 3);
    WId dialog = 0;
    QTRY_VERIFY_WITH_TIMEOUT((dialog = m_panel.window(LoadButtonTitle)) != 0, 5000);
    // The dialog takes the keyboard, so typing goes into its text box.
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::activeWindow(), dialog, 3000);
    Desktop::key(QStringLiteral("ctrl+a"));
    Desktop::type(QStringLiteral("ve3xyz"));
    Desktop::key(QStringLiteral("Return"));
    QTRY_VERIFY_WITH_TIMEOUT(m_panel.window(LoadButtonTitle) == 0, 3000);

    // Saved before the dialog went away: the edited call, upper-cased, and every other key.
    const QMap<QString, QString> stored = storedSettings();
    QCOMPARE(stored.value(QStringLiteral("NodeCall1")), QStringLiteral("VE3XYZ"));
    QCOMPARE(stored.value(QStringLiteral("NodeCall0")), QStringLiteral("W1AW"));
    QCOMPARE(stored.size(), allSettingKeys().size());
    for (const QString &key : allSettingKeys())
        QVERIFY2(stored.contains(key), qPrintable(key));

    // The button shows the new call without waiting for a refresh, and a left click on it
    // now links the new node.
    Desktop::parkPointer();
    QVERIFY(buttonImage(1) != before);
    m_sim.clearCalls();
    Desktop::click(buttonCentre(1));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.calls().contains(QStringLiteral("Connect VE3XYZ 0")), 3000);
}

void tst_e2e::viewLargeShowsAllFortyButtons()
{
    // Calls on the first and the last row of both columns; the rest are unassigned.
    const QMap<QString, QString> calls = {{QStringLiteral("NodeCall0"), QStringLiteral("W1AW")},
                                          {QStringLiteral("NodeCall19"), QStringLiteral("W9END")},
                                          {QStringLiteral("NodeCall20"), QStringLiteral("N0RTH")},
                                          {QStringLiteral("NodeCall39"), QStringLiteral("K0TOP")}};
    DO(seedSettings(calls));
    DO(startStandIn());
    DO(startPanel());
    const QRect small = m_client;

    DO(chooseOption(QStringLiteral("View Large")));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::clientGeometry(m_window).height(), m_menuHeight + LargeViewArea, 3000);
    m_client = Desktop::clientGeometry(m_window);
    QCOMPARE(m_client.topLeft(), small.topLeft());
    QCOMPARE(m_client.width(), small.width());

    // Every one of the 40 places shows a button: the unassigned ones look exactly like
    // the unassigned button of their column on row 10, the assigned ones show a caption.
    const QImage panel = Desktop::stableGrab(m_window);
    QVERIFY(!panel.isNull());
    const QImage blankLeft = panel.copy(buttonRect(10));
    const QImage blankRight = panel.copy(buttonRect(29));
    QVERIFY2(colourCount(blankLeft) > 2 && colourCount(blankRight) > 2, "no button drawn on row 10");
    for (int i = 0; i < 40; ++i) {
        const QImage button = panel.copy(buttonRect(i));
        const QImage &blank = i < 20 ? blankLeft : blankRight;
        if (calls.contains(QStringLiteral("NodeCall%1").arg(i)))
            QVERIFY2(button != blank, qPrintable(QStringLiteral("button %1 shows no caption").arg(i)));
        else
            QVERIFY2(button == blank, qPrintable(QStringLiteral("button %1 is not a blank button").arg(i)));
    }
}

void tst_e2e::alwaysOnTopStaysAboveAnotherOnTopWindow()
{
    DO(seedSettings({{QStringLiteral("NodeCall0"), QStringLiteral("W1AW")}}));
    DO(startStandIn());
    DO(startPanel());
    QVERIFY(!X11Probe::netWmState(m_window).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));

    DO(chooseOption(QStringLiteral("Always On Top")));
    QTRY_VERIFY_WITH_TIMEOUT(X11Probe::netWmState(m_window).contains(QStringLiteral("_NET_WM_STATE_ABOVE")),
                             OneOnTopTickMs);

    // Another always-on-top window, shown over the panel, lands above it; the panel's
    // next tick covers it again, and again after the other window is raised.
    m_other = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    m_other->setWindowTitle(QStringLiteral("another always-on-top window"));
    m_other->setGeometry(QRect(m_client.topLeft() + QPoint(50, 10), QSize(300, 200)));
    m_other->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_other.get()));
    const WId other = m_other->winId();
    QTRY_VERIFY_WITH_TIMEOUT(X11Probe::netWmState(other).contains(QStringLiteral("_NET_WM_STATE_ABOVE")),
                             3000);
    QTRY_VERIFY_WITH_TIMEOUT(stackedAbove(m_window, other), OneOnTopTickMs);

    Desktop::raise(other);
    QTRY_VERIFY_WITH_TIMEOUT(stackedAbove(other, m_window), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(stackedAbove(m_window, other), OneOnTopTickMs);
    QVERIFY(X11Probe::netWmState(m_window).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
}

void tst_e2e::closeEchoLinkClosesPanelAndSaves()
{
    DO(seedSettings({{QStringLiteral("NodeCall0"), QStringLiteral("W1AW")},
                     {QStringLiteral("NodeCall7"), QStringLiteral("k7 low")}}));
    DO(startStandIn(true));
    DO(startPanel());
    WId standIn = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (standIn = Desktop::windowTitled(m_sim.process().processId(), StandInTitle)) != 0, 5000);

    // "Close EchoLink" is the full-width button at the bottom of the stand-in's window.
    const QRect window = Desktop::clientGeometry(standIn);
    Desktop::raise(standIn);
    Desktop::click(QPoint(window.center().x(), window.bottom() - 20));
    QVERIFY2(m_panel.waitForFinished(10000), "the panel did not close with EchoLink");
    QCOMPARE(m_panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_panel.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_sim.isRunning(), 5000);

    // The shutdown saved every key; the calls read at start-up went back unchanged.
    const QMap<QString, QString> stored = storedSettings();
    for (const QString &key : allSettingKeys())
        QVERIFY2(stored.contains(key), qPrintable(key));
    QCOMPARE(stored.size(), allSettingKeys().size());
    QCOMPARE(stored.value(QStringLiteral("NodeCall0")), QStringLiteral("W1AW"));
    QCOMPARE(stored.value(QStringLiteral("NodeCall7")), QStringLiteral("k7 low"));
    QCOMPARE(stored.value(QStringLiteral("ViewSmall")), QStringLiteral("True"));
    // The position, in twips, is the frame's top-left corner where the panel stood.
    const QPoint frame = m_client.marginsAdded(m_frame).topLeft();
    QCOMPARE(stored.value(QStringLiteral("ScrnLeft")), QString::number(frame.x() * 15));
    QCOMPARE(stored.value(QStringLiteral("ScrnTop")), QString::number(frame.y() * 15));
}

DIALBOARD_TEST_MAIN(tst_e2e, WindowManager)
#include "tst_e2e.moc"
