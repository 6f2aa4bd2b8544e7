// What a test starts ends with the test, even when the test is killed with SIGKILL, as a
// test runner does at its time-out. A copy of this program runs as such a test: it starts
// its private session bus and a process that has left it (orphaned, as a daemon or a
// D-Bus activated service is), says their pids, and is killed; both must end.
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <cstdio>

namespace {

const char KilledTestArgument[] = "--run-until-killed";

// The killed test: prints "<bus pid> <orphan pid>" and waits.
int runUntilKilled(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QCoreApplication app(argc, argv);
    const QDBusReply<uint> bus =
        QDBusConnection::sessionBus().interface()->servicePid(QStringLiteral("org.freedesktop.DBus"));
    QProcess shell;
    shell.start(QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("sleep 600 </dev/null >/dev/null 2>&1 & echo $!")});
    if (!bus.isValid() || !shell.waitForFinished(10000))
        return EXIT_FAILURE;
    const QByteArray orphan = shell.readAllStandardOutput().trimmed();
    std::printf("%u %s\n", bus.value(), orphan.constData());
    std::fflush(stdout);
    return app.exec();
}

// Running, and not merely a zombie that nobody has reaped yet.
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype state = line.lastIndexOf(')') + 2;
    return state < line.size() && line.at(state) != 'Z';
}

}  // namespace

class tst_processgroup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void processesEndWithAKilledTest();
};

void tst_processgroup::processesEndWithAKilledTest()
{
    QProcess test;
    test.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    test.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(KilledTestArgument)});
    QVERIFY(
        QTest::qWaitFor([&] { return test.canReadLine() || test.state() == QProcess::NotRunning; }, 20000));
    const QStringList pids = QString::fromLatin1(test.readLine()).split(QLatin1Char(' '));
    QCOMPARE(pids.size(), 2);
    const qint64 bus = pids.at(0).toLongLong();
    const qint64 orphan = pids.at(1).toLongLong();
    QVERIFY(running(bus));
    QVERIFY(running(orphan));

    ::kill(pid_t(test.processId()), SIGKILL);
    QVERIFY(test.waitForFinished(5000));
    const bool ended = QTest::qWaitFor([&] { return !running(bus) && !running(orphan); }, 10000);
    for (qint64 pid : {bus, orphan}) {  // leave nothing behind, whatever happened
        if (running(pid))
            ::kill(pid_t(pid), SIGKILL);
    }
    QVERIFY2(ended, "the killed test's session bus or orphaned process outlived it");
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], KilledTestArgument) == 0)
        return runUntilKilled(argc, argv);
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QCoreApplication app(argc, argv);
    tst_processgroup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_processgroup.moc"
