// The panel on a Wayland session: a headless weston with XWayland, the built panel
// started with only the session's variables (no QT_QPA_PLATFORM), against the EchoLink
// stand-in. Which platform it took is read from the Qt platform plugin it loaded and from
// the X server's view of its window.
//
// Each run leaves a picture of the compositor's output in wayland-output/<test>.png.
#include "PanelProcess.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "WestonSession.h"
#include "X11Probe.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString Callsign = QStringLiteral("K1XYZ-L");
const QString PanelTitle = QStringLiteral("Dialboard K1XYZ");
const QString LimitsMessage = QStringLiteral("stored window position and Always On Top are not available");
// Start-up alone waits 7 s before the panel shows.
constexpr int StartUpTimeoutMs = 20000;

// The stored position: 200 px from the left, 100 px from the top at 96 DPI, each a few
// twips more than a whole pixel, so a save that took them from the window would show.
constexpr int StoredLeftTwips = 3004;
constexpr int StoredTopTwips = 1507;

void seedSettings()
{
    const QString dir = TestEnvironment::configHome() + QStringLiteral("/Dialboard");
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
    QFile file(dir + QStringLiteral("/Dialboard.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write(QStringLiteral("[Settings]\nScrnTop=%1\nScrnLeft=%2\nNodeCall0=W1AW\n")
                   .arg(StoredTopTwips)
                   .arg(StoredLeftTwips)
                   .toUtf8());
}

// The Qt platform plugins a running process has loaded.
QStringList loadedPlatformPlugins(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList plugins;
    const QString all = QString::fromLocal8Bit(maps.readAll());
    for (const char *plugin : {"libqxcb.so", "libqwayland-generic.so", "libqwayland-egl.so"}) {
        if (all.contains(QLatin1String(plugin)))
            plugins << QString::fromLatin1(plugin);
    }
    return plugins;
}

}  // namespace

class tst_wayland : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void withXWaylandRunsOnX11AtStoredPosition();
    void usersPlatformChoiceIsRespected();
    void withoutXServerStaysOnWaylandAndSaysWhatIsMissing();
    void withNoDisplayAtAllSaysSo();

private:
    void startSession(bool withXWayland);
    void startPanel(const QMap<QString, QString> &sessionVariables);
    // Waits until the panel asks EchoLink about its buttons: start-up is over.
    void waitForFirstRefresh();
    QString outputPath() const;

    WestonSession m_session;
    SimProcess m_sim;
    PanelProcess m_panel;
    QByteArray m_testDisplay = qgetenv("DISPLAY");
};

void tst_wayland::initTestCase()
{
    if (!WestonSession::installed())
        QSKIP("needs weston, xwayland and qt6-wayland (scripts/deps.sh --tests)");
    for (const char *tool : {"xdotool", "xprop", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("needs xdotool, xprop and xwininfo (scripts/deps.sh --tests)");
    }
    QVERIFY(QDir().mkpath(QStringLiteral(WAYLAND_OUTPUT_DIR)));
}

void tst_wayland::cleanup()
{
    if (m_session.saveScreenshot(outputPath()))
        qInfo("screenshot: %s", qPrintable(outputPath()));
    m_panel.stop();
    m_sim.stop();
    m_session.stop();
    qputenv("DISPLAY", m_testDisplay);  // the X tools below followed the session's
}

QString tst_wayland::outputPath() const
{
    return QStringLiteral(WAYLAND_OUTPUT_DIR "/%1.png")
        .arg(QString::fromLatin1(QTest::currentTestFunction()));
}

void tst_wayland::startSession(bool withXWayland)
{
    QVERIFY2(m_session.start(withXWayland), qPrintable(m_session.whyNot()));
    if (withXWayland)
        qputenv("DISPLAY", m_session.xDisplay().toLocal8Bit());
    seedSettings();
    QVERIFY2(m_sim.start({QStringLiteral("--callsign"), Callsign}), "the EchoLink stand-in did not start");
}

// Starts the built panel with nothing from the test's own environment but the bus, the
// configuration home and the program search path: as a session starts it.
void tst_wayland::startPanel(const QMap<QString, QString> &sessionVariables)
{
    QProcessEnvironment environment;
    for (const char *name : {"PATH", "HOME", "DBUS_SESSION_BUS_ADDRESS", "XDG_CONFIG_HOME"})
        environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_session.runtimeDir());
    for (auto it = sessionVariables.cbegin(); it != sessionVariables.cend(); ++it)
        environment.insert(it.key(), it.value());
    m_panel.setProcessChannelMode(QProcess::SeparateChannels);
    QVERIFY2(m_panel.startWith(environment), "the panel program did not start");
}

void tst_wayland::waitForFirstRefresh()
{
    QVERIFY2(QTest::qWaitFor(
                 [this] {
                     return m_panel.state() != QProcess::Running
                            || m_sim.calls().contains(QStringLiteral("IsConnected W1AW"));
                 },
                 StartUpTimeoutMs),
             "the panel never refreshed its buttons");
    if (m_panel.state() != QProcess::Running)
        QFAIL(qPrintable(QStringLiteral("the panel ended: ")
                         + QString::fromLocal8Bit(m_panel.readAllStandardError())));
}

// Both WAYLAND_DISPLAY and XWayland's DISPLAY set, as a Wayland desktop sets them: the
// panel comes up as an X11 window on the XWayland display, and asks for the stored
// position (weston's own window manager places it by its own policy, so the request is
// what is checked).
void tst_wayland::withXWaylandRunsOnX11AtStoredPosition()
{
    startSession(true);
    if (QTest::currentTestFailed())
        return;
    startPanel({{QStringLiteral("WAYLAND_DISPLAY"), m_session.waylandDisplay()},
                {QStringLiteral("DISPLAY"), m_session.xDisplay()}});
    if (QTest::currentTestFailed())
        return;

    QList<WId> windows;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     windows = X11Probe::windowsNamed(PanelTitle);
                     return !windows.isEmpty() || m_panel.state() != QProcess::Running;
                 },
                 StartUpTimeoutMs),
             qPrintable(QStringLiteral("no X11 window titled \"%1\" on XWayland's display %2")
                            .arg(PanelTitle, m_session.xDisplay())));
    QCOMPARE(windows.size(), 1);
    const WId window = windows.first();
    QCOMPARE(X11Probe::property(window, QStringLiteral("_NET_WM_PID")).toLongLong(), m_panel.processId());
    QCOMPARE(X11Probe::mapState(window), QStringLiteral("IsViewable"));

    const QString hints =
        X11Probe::runTool(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                                    QStringLiteral("WM_NORMAL_HINTS")});
    QVERIFY2(
        hints.contains(
            QStringLiteral("specified location: %1, %2").arg(StoredLeftTwips / 15).arg(StoredTopTwips / 15)),
        qPrintable(hints));

    const QStringList plugins = loadedPlatformPlugins(m_panel.processId());
    QVERIFY2(plugins == QStringList{QStringLiteral("libqxcb.so")}, qPrintable(plugins.join(u' ')));
    waitForFirstRefresh();
    QVERIFY(!QString::fromLocal8Bit(m_panel.readAllStandardError()).contains(LimitsMessage));
}

// A QT_QPA_PLATFORM of the user's is kept, even with an X server at hand.
void tst_wayland::usersPlatformChoiceIsRespected()
{
    startSession(true);
    if (QTest::currentTestFailed())
        return;
    startPanel({{QStringLiteral("WAYLAND_DISPLAY"), m_session.waylandDisplay()},
                {QStringLiteral("DISPLAY"), m_session.xDisplay()},
                {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland")}});
    if (QTest::currentTestFailed())
        return;
    waitForFirstRefresh();
    if (QTest::currentTestFailed())
        return;

    const QStringList plugins = loadedPlatformPlugins(m_panel.processId());
    QVERIFY2(plugins.contains(QStringLiteral("libqwayland-generic.so")), qPrintable(plugins.join(u' ')));
    QVERIFY(!plugins.contains(QStringLiteral("libqxcb.so")));
    QVERIFY(X11Probe::windowsNamed(PanelTitle).isEmpty());
    QVERIFY(!QString::fromLocal8Bit(m_panel.readAllStandardError()).contains(LimitsMessage));
}

// A Wayland session without XWayland: the panel runs there and says once what it cannot
// do. Wayland does not tell a window where it is, so closing keeps the stored position.
void tst_wayland::withoutXServerStaysOnWaylandAndSaysWhatIsMissing()
{
    startSession(false);
    if (QTest::currentTestFailed())
        return;
    startPanel({{QStringLiteral("WAYLAND_DISPLAY"), m_session.waylandDisplay()}});
    if (QTest::currentTestFailed())
        return;
    waitForFirstRefresh();
    if (QTest::currentTestFailed())
        return;

    const QStringList plugins = loadedPlatformPlugins(m_panel.processId());
    QVERIFY2(plugins.contains(QStringLiteral("libqwayland-generic.so")), qPrintable(plugins.join(u' ')));
    QVERIFY(!plugins.contains(QStringLiteral("libqxcb.so")));
    // A whole refresh later it has still said it only once.
    QTest::qWait(6000);
    const QString errors = QString::fromLocal8Bit(m_panel.readAllStandardError());
    QCOMPARE(errors.count(LimitsMessage), 1);

    m_sim.control(QStringLiteral("EmitClosing"));
    QVERIFY(m_panel.waitForFinished(5000));
    QSettings stored(TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf"),
                     QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Settings/ViewSmall")).toString(), QStringLiteral("True"));
    QCOMPARE(stored.value(QStringLiteral("Settings/ScrnTop")).toInt(), StoredTopTwips);
    QCOMPARE(stored.value(QStringLiteral("Settings/ScrnLeft")).toInt(), StoredLeftTwips);
}

void tst_wayland::withNoDisplayAtAllSaysSo()
{
    PanelProcess panel;
    panel.setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    QVERIFY(panel.startWith(environment));
    QVERIFY(panel.waitForFinished(10000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QVERIFY(panel.exitCode() != 0);
    QVERIFY(QString::fromLocal8Bit(panel.readAllStandardError())
                .contains(QStringLiteral("dialboard: no display")));
}

DIALBOARD_TEST_MAIN(tst_wayland, Offscreen)
#include "tst_wayland.moc"
