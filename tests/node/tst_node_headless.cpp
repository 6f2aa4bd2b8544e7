// echolink-node as a station that runs on its own (block 127.10.63.0/24): without a display it
// runs headless and never loads Qt Widgets or Gui, whose window comes from a plugin loaded
// only when wanted; --help-all needs no display; its log lines carry a time stamp, or the
// journal's priority prefix; its links are recorded in links.log; its systemd user unit
// is valid.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "TestEnvironment.h"
#include "node/LinksLog.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

const QString Block = loopbackBlock(63);
constexpr int LinkMs = 2000;    // a link comes up on both ends within this
constexpr int StartMs = 10000;  // a node logs on and has its list within this
const QString Headless = QStringLiteral("; running headless");

// The environment of a session without a display.
void withoutDisplay(NodeProcess &node)
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        node.setEnvironment(QLatin1String(name), QString());
}

// The shared libraries a running process has mapped, by file name.
QStringList mappedLibraries(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
        const QString name = path.section(QLatin1Char('/'), -1);
        if (line.contains('/') && name.contains(QLatin1String(".so")) && !names.contains(name))
            names << name;
    }
    return names;
}

bool mapsLibrary(const QStringList &libraries, const QString &stem)
{
    return std::any_of(libraries.begin(), libraries.end(),
                       [&stem](const QString &name) { return name.startsWith(stem); });
}

// The shared libraries an ELF file names as NEEDED (readelf -d).
QStringList neededLibraries(const QString &file)
{
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), file});
    readelf.waitForFinished(10000);
    QStringList needed;
    const QRegularExpression entry(QStringLiteral(R"(\(NEEDED\).*\[(.+)\])"));
    for (const QString &line :
         QString::fromLocal8Bit(readelf.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch())
            needed << match.captured(1);
    }
    return needed;
}

// One run of a program to its end: exit code (-1: did not end in 10 s), standard output
// and standard error.
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(3000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

QProcessEnvironment environmentWithoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    return environment;
}

// The lines of links.log, as the node wrote them.
QStringList linksLogLines(const NodeProcess &node)
{
    QFile file(node.linksLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A links.log line: start and end in UTC (start not after end, both in this test's
// span), direction and callsign.
bool isLinkLine(const QString &line, const char *direction, const QString &call, const QDateTime &since)
{
    const QStringList fields = line.split(QLatin1Char(' '));
    if (fields.size() != 4 || fields[2] != QLatin1String(direction) || fields[3] != call)
        return false;
    const QDateTime start = QDateTime::fromString(fields[0], Qt::ISODate);
    const QDateTime end = QDateTime::fromString(fields[1], Qt::ISODate);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return fields[0].endsWith(QLatin1Char('Z')) && fields[1].endsWith(QLatin1Char('Z')) && start.isValid()
           && end.isValid() && since.addSecs(-1) <= start && start <= end && end <= now.addSecs(1);
}

}  // namespace

class tst_node_headless : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void windowOnlyWhenWantedAndShown_data();
    void windowOnlyWhenWantedAndShown();
    void executableLinksNeitherWidgetsNorGui();
    void missingPluginRunsHeadless();
    void helpAndVersionWithoutDisplay();
    void logLinesCarryTimeStampOrJournalPriority();
    void linksRecordedInLinksLog();
    void linksLogLineIsOneBoundedLine();
    void systemdUserUnitVerifies();

private:
    bool startLinkedPair(NodeProcess &a, NodeProcess &b);

    DirectoryProcess m_directory;
};

void tst_node_headless::initTestCase()
{
    QVERIFY(m_directory.start(Block + QStringLiteral(".3"),
                              {QStringLiteral("--password"), QStringLiteral("secret, with a comma")}));
}

void tst_node_headless::windowOnlyWhenWantedAndShown_data()
{
    QTest::addColumn<bool>("display");   // an offscreen display, or none at all
    QTest::addColumn<bool>("windowed");  // without --no-window
    QTest::addColumn<bool>("window");    // the window plugin and Qt Widgets loaded
    QTest::newRow("no display") << false << true << false;
    QTest::newRow("--no-window") << true << false << false;
    QTest::newRow("offscreen window") << true << true << true;
}

void tst_node_headless::windowOnlyWhenWantedAndShown()
{
    QFETCH(bool, display);
    QFETCH(bool, windowed);
    QFETCH(bool, window);
    NodeProcess node(QStringLiteral("H"), Block, 1);
    node.writeConfig(node.standardConfig(QStringLiteral("NODE-H")));
    node.setWindowed(windowed);
    if (display)
        node.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        withoutDisplay(node);
    // It comes up on the bus and logs on, with or without its window.
    QVERIFY2(node.start(), qPrintable(node.output()));
    QVERIFY2(node.waitForOutput(QStringLiteral("station list:"), StartMs), qPrintable(node.output()));
    QCOMPARE(node.directoryStatus(), QStringLiteral("online"));

    const QStringList libraries = mappedLibraries(node.pid());
    QVERIFY(mapsLibrary(libraries, QStringLiteral("libQt6Core.so")));
    QCOMPARE(mapsLibrary(libraries, QStringLiteral("echolink-node-window.so")), window);
    QCOMPARE(mapsLibrary(libraries, QStringLiteral("libQt6Widgets.so")), window);
    QCOMPARE(mapsLibrary(libraries, QStringLiteral("libQt6Gui.so")), window);
    // A window wanted without a display: said once, not an abort.
    const int said = int(node.output().count(Headless));
    QCOMPARE(said, !display ? 1 : 0);
    if (!display)
        QVERIFY(node.output().contains(
            QStringLiteral("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)")));

    node.sendSignal(SIGTERM);
    QCOMPARE(node.waitForExit(5000), 0);
}

void tst_node_headless::executableLinksNeitherWidgetsNorGui()
{
    if (QStandardPaths::findExecutable(QStringLiteral("readelf")).isEmpty())
        QSKIP("needs readelf (binutils)");
    const QStringList node = neededLibraries(QStringLiteral(ECHOLINK_NODE_PATH));
    QVERIFY2(node.contains(QStringLiteral("libQt6Core.so.6")), qPrintable(node.join(QLatin1Char(' '))));
    QVERIFY2(!mapsLibrary(node, QStringLiteral("libQt6Widgets"))
                 && !mapsLibrary(node, QStringLiteral("libQt6Gui")),
             qPrintable(node.join(QLatin1Char(' '))));
    // The window's weight is the plugin's, beside the executable in the build tree.
    const QString plugin = QFileInfo(QStringLiteral(ECHOLINK_NODE_PATH)).absolutePath()
                           + QStringLiteral("/echolink-node-window.so");
    QVERIFY(neededLibraries(plugin).contains(QStringLiteral("libQt6Widgets.so.6")));
}

void tst_node_headless::missingPluginRunsHeadless()
{
    // The executable alone, in a folder of its own: no plugin beside it, none in the
    // installation it would belong to.
    QTemporaryDir prefix;
    QVERIFY(QDir().mkpath(prefix.path() + QStringLiteral("/bin")));
    const QString copy = prefix.path() + QStringLiteral("/bin/echolink-node");
    QVERIFY(QFile::copy(QStringLiteral(ECHOLINK_NODE_PATH), copy));
    NodeProcess node(QStringLiteral("P"), Block, 1);
    node.writeConfig(node.standardConfig(QStringLiteral("NODE-P")));
    node.setProgram(copy);
    node.setWindowed(true);
    node.setEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QVERIFY2(node.start(), qPrintable(node.output()));
    QVERIFY(node.waitForOutput(QStringLiteral("station list:"), StartMs));
    QCOMPARE(node.output().count(Headless), 1);
    QVERIFY2(node.output().contains(
                 QStringLiteral("no window: echolink-node-window.so not found (looked in %1/bin/")
                     .arg(prefix.path())),
             qPrintable(node.output()));
    QVERIFY(!mapsLibrary(mappedLibraries(node.pid()), QStringLiteral("libQt6Gui.so")));
}

void tst_node_headless::helpAndVersionWithoutDisplay()
{
    const QProcessEnvironment environment = environmentWithoutDisplay();
    const QString node = QStringLiteral(ECHOLINK_NODE_PATH);
    const Run helpAll = run(node, {QStringLiteral("--help-all")}, environment);
    QCOMPARE(helpAll.exitCode, 0);
    QVERIFY2(helpAll.out.contains(QStringLiteral("--no-window")), qPrintable(helpAll.out + helpAll.err));
    QVERIFY(helpAll.out.contains(QStringLiteral("--help-all")));
    const Run help = run(node, {QStringLiteral("--help")}, environment);
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains(QStringLiteral("--config <FILE>")));
    const Run version = run(node, {QStringLiteral("--version")}, environment);
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out.trimmed(), QStringLiteral("echolink-node 1.0.0"));
    for (const Run *each : {&helpAll, &help, &version})
        QVERIFY2(!each->err.contains(QStringLiteral("display")), qPrintable(each->err));
}

void tst_node_headless::logLinesCarryTimeStampOrJournalPriority()
{
    // On a pipe: every line time-stamped in UTC, to the millisecond.
    NodeProcess node(QStringLiteral("L"), Block, 1);
    node.writeConfig(node.standardConfig(QStringLiteral("NODE-L")));
    withoutDisplay(node);
    node.setWindowed(true);
    // The journal's stream names another file: standard error is not the journal.
    node.setEnvironment(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("1:1"));
    QVERIFY(node.start());
    QVERIFY(node.waitForOutput(QStringLiteral("station list:"), StartMs));
    node.sendSignal(SIGTERM);
    QCOMPARE(node.waitForExit(5000), 0);
    const QStringList lines = node.output().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.size() >= 4);
    const QRegularExpression stamped(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) echolink-node: \S)"));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = stamped.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const QDateTime at = QDateTime::fromString(match.captured(1), Qt::ISODateWithMs);
        QVERIFY(qAbs(at.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    }

    // On the journal's stream (the one JOURNAL_STREAM names by device and inode): the
    // syslog priority instead, the journal keeping its own time.
    QTemporaryDir folder;
    const QString errFile = folder.filePath(QStringLiteral("stderr"));
    QFile(errFile).open(QIODevice::WriteOnly);
    struct stat status
    {
    };
    QCOMPARE(::stat(QFile::encodeName(errFile).constData(), &status), 0);
    QProcessEnvironment environment = environmentWithoutDisplay();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), folder.path());
    environment.insert(QStringLiteral("JOURNAL_STREAM"),
                       QStringLiteral("%1:%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino)));
    QProcess journaled;
    journaled.setProcessEnvironment(environment);
    journaled.setStandardErrorFile(errFile, QIODevice::Append);
    // A configuration without a callsign keeps it off the network: it says so and waits.
    journaled.start(QStringLiteral(ECHOLINK_NODE_PATH), {QStringLiteral("--no-audio")});
    QVERIFY(journaled.waitForStarted());
    QFile err(errFile);
    QVERIFY(err.open(QIODevice::ReadOnly));
    QByteArray text;
    QVERIFY(
        QTest::qWaitFor([&] { return (text += err.readAll()).contains("no networking until"); }, StartMs));
    ::kill(pid_t(journaled.processId()), SIGTERM);
    QVERIFY(journaled.waitForFinished(5000));
    text += err.readAll();
    const QList<QByteArray> journalLines = text.split('\n');
    QVERIFY2(
        journalLines.contains("<4>echolink-node: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                              "running headless"),
        text.constData());
    QVERIFY(journalLines.contains("<6>echolink-node: closing"));
    for (const QByteArray &line : journalLines)
        QVERIFY2(line.isEmpty()
                     || QRegularExpression(QStringLiteral("^<[346]>echolink-node: "))
                            .match(QString::fromLatin1(line))
                            .hasMatch(),
                 line.constData());
}

bool tst_node_headless::startLinkedPair(NodeProcess &a, NodeProcess &b)
{
    a.writeConfig(a.standardConfig(QStringLiteral("NODE-A")));
    b.writeConfig(b.standardConfig(QStringLiteral("NODE-B")));
    return a.start() && b.start() && a.waitForStations(2, StartMs) && b.waitForStations(2, StartMs);
}

void tst_node_headless::linksRecordedInLinksLog()
{
    NodeProcess a(QStringLiteral("A"), Block, 1);
    NodeProcess b(QStringLiteral("B"), Block, 2);
    const QDateTime since = QDateTime::currentDateTimeUtc();
    QVERIFY(startLinkedPair(a, b));

    // A link that ends: a line at each end, out at A, in at B; the file the user's alone.
    QCOMPARE(a.connectTo(QStringLiteral("NODE-B")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QVERIFY(linksLogLines(a).isEmpty());  // written as a link ends, not before
    a.disconnect(QStringLiteral("NODE-B"));
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QTRY_COMPARE(linksLogLines(a).size(), 1);
    QTRY_COMPARE(linksLogLines(b).size(), 1);
    QVERIFY2(isLinkLine(linksLogLines(a).at(0), "out", QStringLiteral("NODE-B"), since),
             qPrintable(linksLogLines(a).at(0)));
    QVERIFY2(isLinkLine(linksLogLines(b).at(0), "in", QStringLiteral("NODE-A"), since),
             qPrintable(linksLogLines(b).at(0)));
    struct stat status
    {
    };
    QCOMPARE(::stat(QFile::encodeName(a.linksLogPath()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));

    // links.log at B made a symbolic link: never followed, and said so.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target"));
    QVERIFY(QFile::remove(b.linksLogPath()));
    QVERIFY(QFile::link(target, b.linksLogPath()));
    // A link still up when the node quits is recorded as it goes.
    QCOMPARE(b.connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    a.sendSignal(SIGTERM);
    QCOMPARE(a.waitForExit(5000), 0);
    const QStringList atA = linksLogLines(a);
    QCOMPARE(atA.size(), 2);
    QVERIFY2(isLinkLine(atA.at(1), "in", QStringLiteral("NODE-B"), since), qPrintable(atA.at(1)));
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QVERIFY2(
        b.waitForOutput(
            QStringLiteral("links.log: cannot open %1: it is a symbolic link").arg(b.linksLogPath()), LinkMs),
        qPrintable(b.output()));
    QVERIFY(!QFile::exists(target));
}

void tst_node_headless::linksLogLineIsOneBoundedLine()
{
    // Callsigns come from the network: whatever they hold, the record stays one line of
    // four fields.
    const QDateTime start(QDate(2025, 3, 1), QTime(23, 59, 58), Qt::UTC);
    const QDateTime end = start.addSecs(75).toOffsetFromUtc(3600);
    QCOMPARE(LinksLog::line(QStringLiteral("W1AW"), LinksLog::Direction::Out, start, end),
             QByteArray("2025-03-01T23:59:58Z 2025-03-02T00:01:13Z out W1AW"));
    const QByteArray forged =
        LinksLog::line(QStringLiteral("EVIL\n2025-01-01T00:00:00Z x in K1\tÄ") + QString(100, 'X'),
                       LinksLog::Direction::In, start, start);
    QVERIFY(!forged.contains('\n'));
    QCOMPARE(forged.split(' ').size(), 4);
    QCOMPARE(forged.split(' ').last().size(), LinksLog::MaxCallsign);
    QVERIFY(forged.endsWith(" in EVIL?2025-01-01T00:00:00Z?x?in?K"));
    QCOMPARE(LinksLog::line(QString(), LinksLog::Direction::In, start, start).split(' ').last(),
             QByteArray("?"));
}

void tst_node_headless::systemdUserUnitVerifies()
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        QSKIP("systemd-analyze is not installed (package systemd): the unit is not verified");
    QFile unit(QStringLiteral(ECHOLINK_NODE_UNIT));
    QVERIFY(unit.open(QIODevice::ReadOnly));
    QByteArray text = unit.readAll();
    QVERIFY(text.contains("\nExecStart=/usr/bin/echolink-node --no-window\n"));
    QVERIFY(text.contains("\nRestart=on-failure\n"));
    // Verified as a user's manager reads it, with the built node in the installed one's
    // place (verify checks that the program exists).
    text.replace("ExecStart=/usr/bin/echolink-node", "ExecStart=" ECHOLINK_NODE_PATH);
    QTemporaryDir folder;
    QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("runtime"))));
    QFile copy(folder.filePath(QStringLiteral("echolink-node.service")));
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.write(text);
    copy.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("runtime")));
    const Run verify =
        run(analyze,
            {QStringLiteral("--user"), QStringLiteral("verify"), QStringLiteral("--man=no"), copy.fileName()},
            environment);
    // Warnings (an unknown key, a bad value) come with status 0: none is allowed.
    QCOMPARE(verify.exitCode, 0);
    QVERIFY2(verify.out.trimmed().isEmpty() && verify.err.trimmed().isEmpty(),
             qPrintable(verify.out + verify.err));
}

DIALBOARD_TEST_MAIN(tst_node_headless, Offscreen)

#include "tst_node_headless.moc"
