// echolink-node's window worked with real X input under a window manager (block
// 127.10.7.0/24): node A shows its window and has a network sound card fed a tone by the
// test, node B hears through its own, and the panel runs on A's bus with NODE-B on its
// first button. The linked list follows links the panel makes, holding the space bar
// transmits (B hears it) and letting go or leaving the window stops, and "Close EchoLink"
// ends the node and the panel with it. The screen after each test is left in e2e-output/.
#include "AudioAnalysis.h"
#include "Desktop.h"
#include "DirectoryProcess.h"
#include "PanelProcess.h"
#include "SoundNode.h"
#include "TestEnvironment.h"
#include "X11Probe.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace AudioAnalysis;

namespace {

const QString Block = loopbackBlock(7);
constexpr int LinkMs = 2000;
constexpr int StartMs = 10000;
constexpr int PanelStartMs = 20000;  // the panel's start-up alone waits 7 s
constexpr int Rate = UdpAudioPort::SampleRate;
constexpr int SmallViewArea = 60;  // the panel's three rows of 20 px under its menu bar

}  // namespace

class tst_node_window : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void linkedListFollowsThePanel();
    void holdingSpaceTransmits();
    void closeEchoLinkEndsThePanelToo();

private:
    void clickPanelButton();

    QTemporaryDir m_panelHome;
    DirectoryProcess m_directory;
    SoundNode m_a{QStringLiteral("A"), Block, 1};
    SoundNode m_b{QStringLiteral("B"), Block, 2};
    PanelProcess m_panel;
    WId m_nodeWindow = 0;
    WId m_panelWindow = 0;
};

void tst_node_window::initTestCase()
{
    REQUIRE_WINDOW_MANAGER();
    if (!Desktop::haveTools())
        QSKIP("needs xdotool, xwininfo, xprop and import (scripts/deps.sh --tests)");
    QVERIFY(QDir().mkpath(QStringLiteral(E2E_OUTPUT_DIR)));
    QVERIFY(m_directory.start(Block + QStringLiteral(".3")));
    m_a.node.writeConfig(m_a.config(QStringLiteral("NODE-A")));
    m_b.node.writeConfig(m_b.config(QStringLiteral("NODE-B")));
    m_a.node.setWindowed(true);
    QVERIFY(m_a.node.start());
    QVERIFY(m_b.node.start());
    QVERIFY(m_a.node.waitForStations(2, StartMs));
    QVERIFY(m_b.node.waitForStations(2, StartMs));
    m_nodeWindow = Desktop::waitForWindow(m_a.node.pid(), QStringLiteral("EchoLink NODE-A"), StartMs);
    QVERIFY(m_nodeWindow != 0);

    QVERIFY(PanelProcess::seedSettings(m_panelHome.path(),
                                       "[Settings]\nNodeCall0=NODE-B\nScrnTop=1500\nScrnLeft=13500\n"));
    QVERIFY(m_panel.start({{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_a.node.bus().address()},
                           {QStringLiteral("XDG_CONFIG_HOME"), m_panelHome.path()}}));
    // Node A's callsign before its dash; the splash has no title.
    m_panelWindow = m_panel.waitForWindow(QStringLiteral("Dialboard NODE"), PanelStartMs);
    QVERIFY(m_panelWindow != 0);
    Desktop::parkPointer();
}

void tst_node_window::cleanup()
{
    Desktop::saveScreenshot(QStringLiteral(E2E_OUTPUT_DIR "/tst_node_window-%1.png")
                                .arg(QLatin1String(QTest::currentTestFunction())));
}

// A left click on the panel's first button, NODE-B.
void tst_node_window::clickPanelButton()
{
    const QRect client = Desktop::clientGeometry(m_panelWindow);
    const int menuHeight = client.height() - SmallViewArea;
    Desktop::click(client.topLeft() + QPoint(50, menuHeight + 10));
    Desktop::parkPointer();
}

// The node window without its left column (the station browser and the link history,
// which grows with every link): the station's own side, the linked stations among it.
static QImage stationSide(const QImage &window)
{
    const int left = window.width() * 43 / 100;
    return window.copy(left, 0, window.width() - left, window.height());
}

void tst_node_window::linkedListFollowsThePanel()
{
    Desktop::activate(m_panelWindow);
    const QImage unlinked = stationSide(Desktop::stableGrab(m_nodeWindow));
    QVERIFY(!unlinked.isNull());

    clickPanelButton();
    QVERIFY(m_a.node.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(m_b.node.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    // On the station's side of the node window only the list of linked stations changes.
    QTRY_VERIFY_WITH_TIMEOUT(stationSide(Desktop::stableGrab(m_nodeWindow)) != unlinked, 3000);

    clickPanelButton();
    QVERIFY(m_a.node.waitForLinked(QStringLiteral("NODE-B"), false, LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(stationSide(Desktop::stableGrab(m_nodeWindow)), unlinked, 3000);

    clickPanelButton();  // linked again, for the tests that follow
    QVERIFY(m_a.node.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(m_b.node.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QTRY_VERIFY_WITH_TIMEOUT(stationSide(Desktop::stableGrab(m_nodeWindow)) != unlinked, 3000);
}

void tst_node_window::holdingSpaceTransmits()
{
    QVERIFY(m_a.node.isConnected(QStringLiteral("NODE-B")));
    // A's microphone hears a tone all along; only push-to-talk lets it through.
    m_a.microphone.send(tone(1000.0, -12.0, 12.0, Rate), m_a.address, m_a.microphonePort);
    Desktop::activate(m_nodeWindow);
    QTest::qWait(1000);
    QVERIFY(!m_a.isTransmitting());
    QVERIFY(peakDbfs(m_b.speaker.received()) < -60.0);

    // Held for two seconds (the X server repeats the key meanwhile): one transmission.
    Desktop::keyDown(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(m_a.isTransmitting(), 1000);
    QTest::qWait(2000);
    QVERIFY(m_a.isTransmitting());
    QVERIFY2(m_a.node.output().count(QStringLiteral("transmitting to NODE-B")) == 1,
             qPrintable(m_a.node.output().right(2000)));
    const auto heard = m_b.speaker.received();
    QVERIFY2(heard.size() > size_t(Rate), qPrintable(QString::number(heard.size())));
    QVERIFY(
        std::abs(dominantFrequency(slice(heard, Rate, 0.2, double(heard.size()) / Rate - 0.2), Rate) - 1000.0)
        <= 20.0);

    // Letting go stops it: B hears nothing more once the last packets are through.
    Desktop::keyUp(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_a.isTransmitting(), 1000);
    QTest::qWait(700);
    m_b.speaker.clear();
    QTest::qWait(1000);
    QVERIFY(peakDbfs(m_b.speaker.received()) < -60.0);

    // Held while the user moves to another window (one of the test's, which the
    // repeating key cannot harm): the transmitter is released there.
    QWidget elsewhere;
    elsewhere.setWindowTitle(QStringLiteral("elsewhere"));
    elsewhere.resize(200, 100);
    elsewhere.show();
    QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));
    Desktop::activate(m_nodeWindow);
    Desktop::keyDown(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(m_a.isTransmitting(), 1000);
    Desktop::activate(elsewhere.winId());
    QTRY_VERIFY_WITH_TIMEOUT(!m_a.isTransmitting(), 1000);
    Desktop::keyUp(QStringLiteral("space"));
    QVERIFY(m_a.node.isConnected(QStringLiteral("NODE-B")));
}

void tst_node_window::closeEchoLinkEndsThePanelToo()
{
    Desktop::activate(m_nodeWindow);
    Desktop::key(QStringLiteral("alt+c"));  // the "Close EchoLink" button
    QCOMPARE(m_a.node.waitForExit(5000), 0);
    QVERIFY(m_a.node.output().contains(QStringLiteral("closing")));
    // The panel hears Closing and ends (maybe already while the node was ending).
    QTRY_COMPARE_WITH_TIMEOUT(m_panel.state(), QProcess::NotRunning, 5000);
    QCOMPARE(m_panel.exitStatus(), QProcess::NormalExit);
    QVERIFY(m_b.node.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::WindowManager);
    QApplication app(argc, argv);
    tst_node_window test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_window.moc"
