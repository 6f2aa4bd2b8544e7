// The panel finding EchoLink where it is (block 127.10.64.0/24): a bus of the project's
// own starts nothing from the user's or the system's service folders; the built panel
// starts echolink-node from a service folder of the test's own and, once the node has
// crashed, never starts it again; a node that exits at once is reported at once; and the
// panel drives a node on another bus through a forwarded socket (socat standing in for
// SSH), ends with that node's Closing and when the forwarding goes away, its settings
// saved each time; a bus that refuses our user is reported.
#include "BusMonitor.h"
#include "DirectoryProcess.h"
#include "MessageBoxWatch.h"
#include "NodeProcess.h"
#include "PanelDriver.h"
#include "PanelProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString Block = loopbackBlock(64);
const QString ServiceName = QString::fromLatin1(Automation::ServiceName);
const QString CannotFindEchoLink =
    QStringLiteral("Can Not Find EchoLink.\r\nDialboard will not work without EchoLink.");
constexpr int StartMs = 10000;
constexpr int PanelStartMs = 20000;  // start-up alone waits 7 s
constexpr int OneRefreshMs = 5000 + 2000;
constexpr int LinkMs = 2000;

// A session service file for EchoLink's name in `directory`.
void writeService(const QString &directory, const QString &exec)
{
    QVERIFY(QDir().mkpath(directory));
    QFile file(directory + QLatin1Char('/') + ServiceName + QStringLiteral(".service"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n").arg(ServiceName, exec).toUtf8());
}

QStringList activatableNames(const QDBusConnection &bus)
{
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames")),
                 QDBus::Block, 5000);
    return reply.arguments().value(0).toStringList();
}

// The program that owns EchoLink's name on the bus; empty when no one does.
QString ownerProgram(const QDBusConnection &bus)
{
    const QDBusReply<uint> pid = bus.interface()->servicePid(ServiceName);
    if (!pid.isValid())
        return QString();
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid.value())).canonicalFilePath();
}

int countOf(const QList<BusMonitor::Call> &calls, const QString &member)
{
    int count = 0;
    for (const BusMonitor::Call &call : calls)
        count += call.member == member ? 1 : 0;
    return count;
}

// socat forwarding one connection from a socket file to another, as `ssh -L` does.
class Forwarder
{
public:
    ~Forwarder() { stop(); }
    bool start(const QString &listen, const QString &target)
    {
        m_listen = listen;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("socat"), {QStringLiteral("UNIX-LISTEN:%1,unlink-early").arg(listen),
                                                  QStringLiteral("UNIX-CONNECT:") + target});
        return m_process.waitForStarted(5000)
               && QTest::qWaitFor([&] { return QFileInfo(listen).exists(); }, 5000);
    }
    // The forwarding goes away, as when the SSH connection ends.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    QString address() const { return QStringLiteral("unix:path=") + m_listen; }

private:
    QProcess m_process;
    QString m_listen;
};

}  // namespace

class tst_node_activation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void installedServiceFilesAreNotStarted();
    void panelStartsTheNodeAndNeverRestartsIt();
    void nodeThatExitsAtOnceIsReportedAtOnce();
    void panelDrivesANodeThroughAForwardedBus();
    void realPanelFollowsTheForwardedBus();
    void busOfAnotherUserIsReported();

private:
    // A panel in this process on the bus at `address`: the load, the box it showed (if
    // any) and how long the load took.
    void loadPanel(frmMain &w, BoxSeen &box, qint64 *loadMs = nullptr);
    void seedPanelSettings();
    QString panelSettingsFile() const;
    QString settingsValue(const QString &key) const;
    bool startForwardedNode();

    QTemporaryDir m_work;
    DirectoryProcess m_directory;
    // Node B sits on a bus of its own behind a forwarded socket; C is the station it links.
    NodeProcess m_b{QStringLiteral("B"), Block, 2};
    NodeProcess m_c{QStringLiteral("C"), Block, 4};
    Forwarder m_forwarder;
    qint64 m_activatedPid = 0;
};

void tst_node_activation::initTestCase()
{
    QVERIFY(m_work.isValid());
    // dbus-daemon runs the Exec line without a shell: no blanks in the paths.
    QVERIFY(!QStringLiteral(ECHOLINK_NODE_PATH).contains(QLatin1Char(' ')));
    QVERIFY(!m_work.path().contains(QLatin1Char(' ')));
    QVERIFY(m_directory.start(Block + QStringLiteral(".3")));
}

void tst_node_activation::cleanup()
{
    m_forwarder.stop();
    // The node the bus started is not the test's child: ended as a user ends it.
    if (m_activatedPid > 0)
        ::kill(pid_t(m_activatedPid), SIGTERM);
    m_activatedPid = 0;
}

void tst_node_activation::seedPanelSettings()
{
    QDir(TestEnvironment::configHome() + QStringLiteral("/Dialboard")).removeRecursively();
    QVERIFY(PanelProcess::seedSettings(TestEnvironment::configHome(),
                                       "[Settings]\nNodeCall0=NODE-C\nNodeCall1=W9NONE\n"));
}

QString tst_node_activation::panelSettingsFile() const
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf");
}

QString tst_node_activation::settingsValue(const QString &key) const
{
    QSettings stored(panelSettingsFile(), QSettings::IniFormat);
    return stored.value(QStringLiteral("Settings/") + key).toString();
}

void tst_node_activation::loadPanel(frmMain &w, BoxSeen &box, qint64 *loadMs)
{
    QElapsedTimer clock;
    clock.start();
    answerNextBox(&w, box, clock);
    w.Form_Load();
    if (loadMs)
        *loadMs = clock.elapsed();
}

// Service files where a standard session bus looks for them, in the user's data folder
// and in a system one: the project's bus lists neither, and a panel on it starts nothing
// and reports EchoLink missing.
void tst_node_activation::installedServiceFilesAreNotStarted()
{
    const QString marker = m_work.path() + QStringLiteral("/started");
    const QString exec = QStringLiteral("/usr/bin/touch ") + marker;
    writeService(m_work.path() + QStringLiteral("/data-home/dbus-1/services"), exec);
    writeService(m_work.path() + QStringLiteral("/data-dir/dbus-1/services"), exec);
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", (m_work.path() + QStringLiteral("/data-home")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", (m_work.path() + QStringLiteral("/data-dir")).toLocal8Bit());
    PrivateBus bus(QStringLiteral("standard-places"));
    const bool started = bus.start();
    qputenv("XDG_DATA_HOME", dataHome);
    qputenv("XDG_DATA_DIRS", dataDirs);
    QVERIFY(started);

    QVERIFY(!activatableNames(bus.connection()).contains(ServiceName));
    TestHost host(TestHost::Waits::None, bus.address());
    frmMain w(host);
    BoxSeen box;
    loadPanel(w, box);
    QCOMPARE(box.text, CannotFindEchoLink);
    QCOMPARE(host.endings, QList<int>{EXIT_FAILURE});
    QTest::qWait(500);
    QVERIFY(!QFile::exists(marker));
}

// The built panel on a bus whose service folder holds the node: the panel's start-up
// starts it and attaches as to a running one. A node that crashes is gone for good: the
// next refresh's questions fail, and none of them starts the node again.
void tst_node_activation::panelStartsTheNodeAndNeverRestartsIt()
{
    NodeProcess node(QStringLiteral("A"), Block, 1);
    // No directory where it looks: the node SIGKILLed below leaves no entry in the test's.
    QMap<QString, QString> config = node.standardConfig(QStringLiteral("NODE-A"));
    config[QStringLiteral("Network/DirectoryServers")] = Block + QStringLiteral(".5");
    node.writeConfig(config);
    const QString services = m_work.path() + QStringLiteral("/services");
    writeService(services, QStringLiteral("%1 --no-audio --config %2")
                               .arg(QStringLiteral(ECHOLINK_NODE_PATH), node.configPath()));
    node.bus().setServiceDirectory(services);
    QVERIFY(node.bus().start());
    const QDBusConnection bus = node.bus().connection();
    QVERIFY(activatableNames(bus).contains(ServiceName));
    QVERIFY(!node.bus().serviceOwned());
    BusMonitor monitor;
    QVERIFY(monitor.start(node.bus().address()));

    seedPanelSettings();
    PanelProcess panel;
    QVERIFY(panel.start({{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), node.bus().address()}}));
    QVERIFY(QTest::qWaitFor([&] { return node.bus().serviceOwned(); }, PanelStartMs));
    QCOMPARE(ownerProgram(bus), QFileInfo(QStringLiteral(ECHOLINK_NODE_PATH)).canonicalFilePath());
    m_activatedPid = bus.interface()->servicePid(ServiceName).value();
    // Attached as always: the three objects, the callsign, a refresh of 40 questions.
    QTRY_VERIFY_WITH_TIMEOUT(countOf(monitor.calls(), QStringLiteral("IsConnected")) >= 40, PanelStartMs);
    QCOMPARE(countOf(monitor.calls(), QStringLiteral("Introspect")), 3);
    QCOMPARE(countOf(monitor.calls(), QStringLiteral("Callsign")), 1);

    ::kill(pid_t(m_activatedPid), SIGKILL);
    m_activatedPid = 0;
    QTRY_VERIFY_WITH_TIMEOUT(!node.bus().serviceOwned(), 5000);
    const int asked = countOf(monitor.calls(), QStringLiteral("IsConnected"));
    QTRY_VERIFY_WITH_TIMEOUT(countOf(monitor.calls(), QStringLiteral("IsConnected")) > asked, OneRefreshMs);
    QTest::qWait(1000);
    QVERIFY(!node.bus().serviceOwned());
    QCOMPARE(panel.state(), QProcess::Running);
}

// A node that exits before it owns the name (here it refuses its command line): the
// message comes as soon as the bus says so, not after the 10 s the start may take.
void tst_node_activation::nodeThatExitsAtOnceIsReportedAtOnce()
{
    const QString services = m_work.path() + QStringLiteral("/failing-services");
    writeService(services, QStringLiteral(ECHOLINK_NODE_PATH) + QStringLiteral(" --no-such-option"));
    PrivateBus bus(QStringLiteral("failing"));
    bus.setServiceDirectory(services);
    QVERIFY(bus.start());
    QVERIFY(activatableNames(bus.connection()).contains(ServiceName));

    TestHost host(TestHost::Waits::None, bus.address());
    frmMain w(host);
    BoxSeen box;
    qint64 loadMs = 0;
    loadPanel(w, box, &loadMs);
    QCOMPARE(box.text, CannotFindEchoLink);
    QVERIFY2(box.after < 3000, qPrintable(QString::number(box.after)));
    QCOMPARE(host.endings, QList<int>{EXIT_FAILURE});
}

// Node B on a bus that listens on a socket file, that file forwarded by socat.
bool tst_node_activation::startForwardedNode()
{
    if (m_b.bus().address().isEmpty()) {
        m_b.bus().setSocketPath(m_work.path() + QStringLiteral("/b-bus"));
        m_b.writeConfig(m_b.standardConfig(QStringLiteral("NODE-B")));
        m_c.writeConfig(m_c.standardConfig(QStringLiteral("NODE-C")));
        if (!m_c.start())
            return false;
    }
    return (m_b.isRunning() || m_b.start()) && m_b.waitForStations(2, StartMs)
           && m_forwarder.start(m_work.path() + QStringLiteral("/echolink.sock"),
                                m_work.path() + QStringLiteral("/b-bus"));
}

// The panel in this process, its session bus the test's and EchoLink's bus the forwarded
// one: a click links B with C, the refresh marks the button, and B's Closing ends the
// panel with its settings saved.
void tst_node_activation::panelDrivesANodeThroughAForwardedBus()
{
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QSKIP("needs socat (scripts/deps.sh --tests)");
    QVERIFY(startForwardedNode());
    seedPanelSettings();
    TestHost host(TestHost::Waits::None, m_forwarder.address());
    frmMain w(host);
    QVERIFY(PanelDriver::load(w));
    QCOMPARE(PanelDriver::captions(w).mid(0, 2),
             (QStringList{QStringLiteral("NODE-C"), QStringLiteral("W9NONE")}));

    QTest::mouseClick(PanelDriver::button(w, 0), Qt::LeftButton);
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-C"), true, LinkMs));
    QVERIFY(m_c.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(PanelDriver::refresh(w));
    QCOMPARE(PanelDriver::captions(w).first(), QStringLiteral("*NODE-C"));

    m_b.sendSignal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(w.hasEnded(), 5000);
    QVERIFY(m_b.waitForExit(5000) >= 0);
    QCOMPARE(host.endings, QList<int>());
    QCOMPARE(settingsValue(QStringLiteral("NodeCall0")), QStringLiteral("NODE-C"));
    QCOMPARE(settingsValue(QStringLiteral("ViewSmall")), QStringLiteral("True"));
}

// The built panel told the address by option (over a wrong one in the environment), then
// by the environment alone: it ends with B's Closing, and ends the same way when the
// forwarding goes away; each time with its settings saved.
void tst_node_activation::realPanelFollowsTheForwardedBus()
{
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QSKIP("needs socat (scripts/deps.sh --tests)");
    QVERIFY(startForwardedNode());
    BusMonitor monitor;
    QVERIFY(monitor.start(m_b.bus().address()));

    seedPanelSettings();
    PanelProcess byOption;
    byOption.setArguments({QStringLiteral("--echolink-bus"), m_forwarder.address()});
    QVERIFY(byOption.start(
        {{QStringLiteral("DIALBOARD_ECHOLINK_BUS"), QStringLiteral("unix:path=/nonexistent/bus")}}));
    QTRY_VERIFY_WITH_TIMEOUT(countOf(monitor.calls(), QStringLiteral("IsConnected")) >= 40, PanelStartMs);
    m_b.sendSignal(SIGTERM);
    QVERIFY(byOption.waitForFinished(5000));
    QCOMPARE(byOption.exitStatus(), QProcess::NormalExit);
    QCOMPARE(byOption.exitCode(), 0);
    QCOMPARE(settingsValue(QStringLiteral("NodeCall1")), QStringLiteral("W9NONE"));
    QVERIFY(!settingsValue(QStringLiteral("ScrnTop")).isEmpty());
    QVERIFY(m_b.waitForExit(5000) >= 0);

    m_forwarder.stop();
    QVERIFY(startForwardedNode());
    seedPanelSettings();
    const int asked = countOf(monitor.calls(), QStringLiteral("IsConnected"));
    PanelProcess byEnvironment;
    QVERIFY(byEnvironment.start({{QStringLiteral("DIALBOARD_ECHOLINK_BUS"), m_forwarder.address()}}));
    QTRY_VERIFY_WITH_TIMEOUT(countOf(monitor.calls(), QStringLiteral("IsConnected")) >= asked + 40,
                             PanelStartMs);
    m_forwarder.stop();
    QVERIFY(byEnvironment.waitForFinished(5000));
    QCOMPARE(byEnvironment.exitStatus(), QProcess::NormalExit);
    QCOMPARE(byEnvironment.exitCode(), 0);
    QCOMPARE(settingsValue(QStringLiteral("NodeCall0")), QStringLiteral("NODE-C"));
    QVERIFY(!settingsValue(QStringLiteral("ScrnTop")).isEmpty());
    QVERIFY(m_b.isRunning());
}

// A bus run by another user (as a forwarded bus of a machine where our user id differs):
// the bus refuses us, the panel says so on stderr and reports EchoLink missing.
void tst_node_activation::busOfAnotherUserIsReported()
{
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv to run a bus as another user");
    const QString folder = m_work.path() + QStringLiteral("/other-user");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(m_work.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                     | QFileDevice::ExeOwner | QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
    QFile config(folder + QStringLiteral("/bus.conf"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(PrivateBus::configuration(QString(), folder + QStringLiteral("/bus")));
    config.close();
    QVERIFY(config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    QProcess daemon;
    daemon.start(QStringLiteral("setpriv"),
                 {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                  QStringLiteral("--clear-groups"), QStringLiteral("dbus-daemon"),
                  QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    QVERIFY(daemon.waitForStarted(5000));
    QVERIFY(daemon.waitForReadyRead(5000));
    const QString address = QStringLiteral("unix:path=") + folder + QStringLiteral("/bus");

    PanelProcess panel;
    panel.setProcessChannelMode(QProcess::SeparateChannels);
    panel.setArguments({QStringLiteral("--echolink-bus"), address});
    QVERIFY(panel.start());
    QString said;
    QVERIFY(QTest::qWaitFor(
        [&] {
            said += QString::fromLocal8Bit(panel.readAllStandardError());
            return said.contains(QStringLiteral("cannot find EchoLink"));
        },
        PanelStartMs));
    QVERIFY2(
        said.contains(QStringLiteral("dialboard: cannot connect to the bus at %1: Did not receive a reply.")
                          .arg(address)),
        qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("(org.freedesktop.DBus.Error.NoReply)")), qPrintable(said));
    panel.stop();
    daemon.kill();
    daemon.waitForFinished(3000);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Dialboard"));
    QApplication::setApplicationName(QStringLiteral("Dialboard"));
    tst_node_activation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_activation.moc"
