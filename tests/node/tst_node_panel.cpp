// The built panel drives a real station (block 127.10.5.0/24): started against node A's
// bus with NODE-B on its first button, a real click links A with B on both ends, a second
// click drops it, an unknown call leaves the panel running, and a link B starts shows on
// the panel at the next refresh. Real X input under a window manager; the screen is left
// in e2e-output/ for a look after a failure.
#include "Desktop.h"
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "PanelProcess.h"
#include "TestEnvironment.h"
#include "X11Probe.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Block = loopbackBlock(5);
constexpr int LinkMs = 2000;  // a click's link is up on both ends within this
constexpr int StartMs = 10000;
constexpr int PanelStartMs = 20000;  // start-up alone waits 7 s
constexpr int OneRefreshMs = 5000 + 2000;
constexpr int SmallViewArea = 60;  // three rows of 20 px under the menu bar

}  // namespace

class tst_node_panel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void clicksLinkAndDropRealStations();

private:
    void startPanel();
    QPoint buttonCentre(int index) const;
    QImage buttonImage(int index);

    QTemporaryDir m_panelHome;
    DirectoryProcess m_directory;
    NodeProcess m_a{QStringLiteral("A"), Block, 1};
    NodeProcess m_b{QStringLiteral("B"), Block, 2};
    PanelProcess m_panel;
    WId m_window = 0;
    QRect m_client;
    int m_menuHeight = 0;
};

void tst_node_panel::initTestCase()
{
    REQUIRE_WINDOW_MANAGER();
    if (!Desktop::haveTools())
        QSKIP("needs xdotool, xwininfo, xprop and import (scripts/deps.sh --tests)");
    QVERIFY(m_directory.start(Block + QStringLiteral(".3")));
    m_a.writeConfig(m_a.standardConfig(QStringLiteral("NODE-A")));
    m_b.writeConfig(m_b.standardConfig(QStringLiteral("NODE-B")));
    QVERIFY(m_a.start());
    QVERIFY(m_b.start());
    QVERIFY(m_a.waitForStations(2, StartMs));
    QVERIFY(m_b.waitForStations(2, StartMs));
}

void tst_node_panel::cleanupTestCase()
{
    Desktop::saveScreenshot(QStringLiteral(E2E_OUTPUT_DIR "/tst_node_panel.png"));
}

// The panel, on A's bus, with its settings in a configuration home of its own.
void tst_node_panel::startPanel()
{
    QVERIFY(PanelProcess::seedSettings(
        m_panelHome.path(), "[Settings]\nNodeCall0=NODE-B\nNodeCall1=W9NONE\nScrnTop=1500\nScrnLeft=1500\n"));
    QVERIFY(m_panel.start({{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_a.bus().address()},
                           {QStringLiteral("XDG_CONFIG_HOME"), m_panelHome.path()}}));
    // Node A's callsign before its dash; the splash has no title.
    m_window = m_panel.waitForWindow(QStringLiteral("Dialboard NODE"), PanelStartMs);
    QVERIFY(m_window != 0);
    m_client = Desktop::clientGeometry(m_window);
    m_menuHeight = m_client.height() - SmallViewArea;
    QVERIFY(m_menuHeight > 10 && m_menuHeight < 60);
    Desktop::parkPointer();
}

QPoint tst_node_panel::buttonCentre(int index) const
{
    return m_client.topLeft() + QPoint(50, m_menuHeight + 20 * index + 10);
}

// The button's pixels once the panel's picture has settled.
QImage tst_node_panel::buttonImage(int index)
{
    return Desktop::stableGrab(m_window).copy(0, m_menuHeight + 20 * index, 99, 20);
}

void tst_node_panel::clicksLinkAndDropRealStations()
{
    startPanel();
    const QImage unlinked = buttonImage(0);
    QVERIFY(!unlinked.isNull());

    Desktop::click(buttonCentre(0));
    Desktop::parkPointer();
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    // The next refresh marks the button.
    QTRY_VERIFY_WITH_TIMEOUT(buttonImage(0) != unlinked, OneRefreshMs);
    const QImage linked = buttonImage(0);

    Desktop::click(buttonCentre(0));
    Desktop::parkPointer();
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), false, LinkMs));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(buttonImage(0), unlinked, OneRefreshMs);

    // A call no directory lists: an error answer, and the panel keeps running.
    Desktop::click(buttonCentre(1));
    Desktop::parkPointer();
    QVERIFY(m_a.waitForOutput(QStringLiteral("no such station: W9NONE"), StartMs));
    QTest::qWait(1000);
    QCOMPARE(m_panel.state(), QProcess::Running);
    QVERIFY(Desktop::visibleWindowsOf(m_panel.processId()).contains(m_window));

    // B links in: the panel shows it at the next refresh, as it showed its own link.
    QCOMPARE(m_b.connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(buttonImage(0), linked, OneRefreshMs);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::WindowManager);
    QApplication app(argc, argv);
    tst_node_panel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_panel.moc"
