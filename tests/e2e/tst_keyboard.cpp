// The panel driven from the keyboard alone and read by a screen reader, as a blind
// operator uses it: the built panel and the EchoLink stand-in as separate processes on a
// real X server with a window manager, real key events (xdotool), and the panel's
// accessibility tree read from outside over AT-SPI. The checks are what the operator
// gets: the stand-in's call log, the settings file, the windows on the screen, and what
// the screen reader is told (names, focus, checked state).
//
// The cases run in order on one panel, each starting where the previous one ended. Each
// leaves a picture of the screen in e2e-output/keyboard-<case>.png.
#include "Atspi.h"
#include "Desktop.h"
#include "PanelProcess.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "X11Probe.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <memory>

namespace {

const QString Callsign = QStringLiteral("K1XYZ-L");
const QString PanelTitle = QStringLiteral("Dialboard K1XYZ");
const QString LoadButtonTitle = QStringLiteral("Load Button");
// Start-up alone waits 7 s before the panel shows.
constexpr int StartUpTimeoutMs = 20000;
// One caption refresh is 5 s; the slack covers a loaded machine.
constexpr int OneRefreshMs = 5000 + 2000;

QString settingsPath()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf");
}

QString storedCall(int index)
{
    QSettings stored(settingsPath(), QSettings::IniFormat);
    return stored.value(QStringLiteral("Settings/NodeCall%1").arg(index)).toString();
}

}  // namespace

class tst_keyboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void screenReaderHearsNamesAndNoHiddenRows();
    void tabReachesVisibleButtonsOnly();
    void contextMenuKeySetsTheCall();
    void shiftF10AndEnterOnOkSetTheCall();
    void enterLinksAndTheFocusStays();
    void returningFromAnotherProgramKeepsTheFocus();
    void f10OpensTheOptionsMenu();

private:
    // The node of the panel's tree with that accessible name (null when there is none).
    Atspi::Node named(const QString &name) const;
    bool isFocused(const QString &name) const;
    // Tabs from the focus holder (where the focus rule leaves it) to button 2.
    void tabToButtonTwo(const QString &name);

    Atspi::Bus m_bus;
    std::unique_ptr<Atspi::Reader> m_reader;
    SimProcess m_sim;
    PanelProcess m_panel;
    WId m_window = 0;
    Atspi::Node m_application;
};

void tst_keyboard::initTestCase()
{
    REQUIRE_WINDOW_MANAGER();
    if (!Desktop::haveTools())
        QSKIP("needs xdotool, xwininfo, xprop and import (scripts/deps.sh --tests)");
    if (!Atspi::Bus::installed())
        QSKIP("needs at-spi2-core (scripts/deps.sh --tests)");
    QVERIFY(QDir().mkpath(QStringLiteral(E2E_OUTPUT_DIR)));

    QVERIFY2(m_bus.start(), qPrintable(m_bus.whyNot()));
    m_reader = std::make_unique<Atspi::Reader>(m_bus.address());
    QVERIFY2(m_sim.start({QStringLiteral("--callsign"), Callsign}), "the EchoLink stand-in did not start");

    // Button 0 carries a call; the panel at 100, 100 px in the small view.
    QVERIFY(PanelProcess::seedSettings(TestEnvironment::configHome(),
                                       "[Settings]\nScrnTop=1500\nScrnLeft=1500\nNodeCall0=K1ABC\n"));
    // As when a screen reader is running: the panel offers its tree on the bus.
    QVERIFY2(m_panel.start({{QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1")}}),
             "the panel program did not start");
    QVERIFY2((m_window = m_panel.waitForWindow(PanelTitle, StartUpTimeoutMs)) != 0,
             "the panel did not come up");
    QVERIFY2(
        QTest::qWaitFor(
            [this] { return !(m_application = m_reader->application(m_panel.processId())).isNull(); }, 10000),
        "the panel never offered its tree on the accessibility bus");
    Desktop::activate(m_window);
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::activeWindow(), m_window, 5000);
}

void tst_keyboard::cleanup()
{
    Desktop::saveScreenshot(QStringLiteral(E2E_OUTPUT_DIR "/keyboard-%1.png")
                                .arg(QString::fromLatin1(QTest::currentTestFunction())));
}

void tst_keyboard::cleanupTestCase()
{
    m_panel.stop();
    m_sim.stop();
    m_reader.reset();
    m_bus.stop();
}

Atspi::Node tst_keyboard::named(const QString &name) const
{
    const QList<Atspi::Node> found =
        m_reader->find(m_application, [&](const Atspi::Node &node) { return m_reader->name(node) == name; });
    return found.value(0);
}

bool tst_keyboard::isFocused(const QString &name) const
{
    const Atspi::Node node = named(name);
    return !node.isNull() && m_reader->hasState(node, Atspi::Focused);
}

void tst_keyboard::tabToButtonTwo(const QString &name)
{
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("Dialboard")), 3000);
    Desktop::key(QStringLiteral("Tab"));
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(name), 3000);
}

// Buttons are named by their call or as empty, with their number; the focus holder is
// named after the program; rows the small view does not show are not showing.
void tst_keyboard::screenReaderHearsNamesAndNoHiddenRows()
{
    QStringList showing, hidden;
    for (const Atspi::Node &node : m_reader->withRole(m_application, QStringLiteral("push button")))
        (m_reader->hasState(node, Atspi::Showing) ? showing : hidden) << m_reader->name(node);
    showing.sort();
    QCOMPARE(showing, (QStringList{QStringLiteral("Empty button 2"), QStringLiteral("Empty button 3"),
                                   QStringLiteral("Empty button 38"), QStringLiteral("Empty button 39"),
                                   QStringLiteral("Empty button 40"), QStringLiteral("K1ABC")}));
    QCOMPARE(hidden.size(), 34);
    QVERIFY(hidden.contains(QStringLiteral("Empty button 4")));
    QVERIFY(hidden.contains(QStringLiteral("Empty button 37")));

    const Atspi::Node k1abc = named(QStringLiteral("K1ABC"));
    QCOMPARE(m_reader->description(k1abc), QStringLiteral("not linked"));
    QVERIFY(!m_reader->hasState(k1abc, Atspi::Checked));
    QVERIFY(!named(QStringLiteral("Dialboard")).isNull());  // the focus holder
}

// From the holder, Tab goes up the left column's visible rows, then to the right column's
// lowest visible row; Shift+Tab comes back.
void tst_keyboard::tabReachesVisibleButtonsOnly()
{
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("Dialboard")), 3000);
    const QStringList order = {QStringLiteral("Empty button 3"), QStringLiteral("Empty button 2"),
                               QStringLiteral("K1ABC"), QStringLiteral("Empty button 38")};
    for (const QString &name : order) {
        Desktop::key(QStringLiteral("Tab"));
        QTRY_VERIFY2_WITH_TIMEOUT(isFocused(name), qPrintable(name), 3000);
    }
    Desktop::key(QStringLiteral("shift+Tab shift+Tab shift+Tab"));
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("Empty button 3")), 3000);
}

// Button 2 focused, the context-menu key opens the dialog for it; the text box is named
// for the button; the typed call is stored, shown and saved, as with the right button.
void tst_keyboard::contextMenuKeySetsTheCall()
{
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("Empty button 3")), 3000);
    Desktop::key(QStringLiteral("Menu"));
    QTRY_VERIFY_WITH_TIMEOUT(m_panel.window(LoadButtonTitle) != 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("Call for button 3")), 3000);

    Desktop::type(QStringLiteral("w1aw"));
    Desktop::key(QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(m_panel.window(LoadButtonTitle), WId(0), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(storedCall(2), QStringLiteral("W1AW"), 5000);
    QVERIFY(!named(QStringLiteral("W1AW")).isNull());
    QVERIFY(named(QStringLiteral("Empty button 3")).isNull());
}

// Shift+F10 opens the dialog as well; Enter on its focused OK button commits.
void tst_keyboard::shiftF10AndEnterOnOkSetTheCall()
{
    tabToButtonTwo(QStringLiteral("W1AW"));
    Desktop::key(QStringLiteral("shift+F10"));
    QTRY_VERIFY_WITH_TIMEOUT(m_panel.window(LoadButtonTitle) != 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("Call for button 3")), 3000);
    Desktop::key(QStringLiteral("ctrl+a BackSpace"));
    Desktop::type(QStringLiteral("n0ab"));
    Desktop::key(QStringLiteral("Tab"));
    QTRY_VERIFY_WITH_TIMEOUT(isFocused(QStringLiteral("OK")), 3000);
    Desktop::key(QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(m_panel.window(LoadButtonTitle), WId(0), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(storedCall(2), QStringLiteral("N0AB"), 5000);
}

// Enter on a focused button links its node; the focus stays on the button, and the
// reader hears it checked once the refresh marks it.
void tst_keyboard::enterLinksAndTheFocusStays()
{
    tabToButtonTwo(QStringLiteral("N0AB"));
    m_sim.clearCalls();
    Desktop::key(QStringLiteral("Return"));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.calls().contains(QStringLiteral("Connect N0AB 0")), 5000);
    QTest::qWait(500);
    QVERIFY(isFocused(QStringLiteral("N0AB")));
    QTRY_VERIFY_WITH_TIMEOUT(m_reader->hasState(named(QStringLiteral("N0AB")), Atspi::Checked), OneRefreshMs);
    QCOMPARE(m_reader->description(named(QStringLiteral("N0AB"))), QStringLiteral("linked"));
    QVERIFY(isFocused(QStringLiteral("N0AB")));
}

// Switching to another program and back leaves the focus where the operator left it.
void tst_keyboard::returningFromAnotherProgramKeepsTheFocus()
{
    QVERIFY(isFocused(QStringLiteral("N0AB")));
    QWidget other;
    other.setWindowTitle(QStringLiteral("Another program"));
    other.setGeometry(400, 300, 200, 100);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    Desktop::activate(other.winId());
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::activeWindow(), other.winId(), 5000);
    // The panel's program has let go of the focus (Qt waits a moment for a focus that
    // might come straight back).
    QTRY_VERIFY_WITH_TIMEOUT(!isFocused(QStringLiteral("N0AB")), 5000);

    Desktop::activate(m_window);
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::activeWindow(), m_window, 5000);
    QTest::qWait(500);
    QVERIFY(isFocused(QStringLiteral("N0AB")));
}

// F10 opens the Options menu; Escape closes it.
void tst_keyboard::f10OpensTheOptionsMenu()
{
    QCOMPARE(Desktop::visibleWindowsOf(m_panel.processId()).size(), 1);
    Desktop::key(QStringLiteral("F10"));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::visibleWindowsOf(m_panel.processId()).size(), 2, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!named(QStringLiteral("View Large")).isNull(), 3000);
    Desktop::key(QStringLiteral("Escape"));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::visibleWindowsOf(m_panel.processId()).size(), 1, 3000);
}

DIALBOARD_TEST_MAIN(tst_keyboard, WindowManager)
#include "tst_keyboard.moc"
