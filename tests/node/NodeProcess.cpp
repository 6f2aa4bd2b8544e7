#include "NodeProcess.h"

#include "automation/AutomationContract.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>

NodeProcess::NodeProcess(const QString &name, const QString &block, int host)
    : m_name(name), m_block(block), m_address(QStringLiteral("%1.%2").arg(block).arg(host)),
      m_bus(QStringLiteral("node-") + name)
{}

NodeProcess::~NodeProcess()
{
    // Ended as a user ends it, so it logs off and the next test finds the directory clean.
    sendSignal(SIGTERM);
    if (isRunning() && !m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QMap<QString, QString> NodeProcess::standardConfig(const QString &callsign) const
{
    return {{QStringLiteral("Station/Callsign"), callsign},
            {QStringLiteral("Station/Password"), QStringLiteral("secret, with a comma")},
            {QStringLiteral("Station/Name"), m_name},
            {QStringLiteral("Station/Location"), QStringLiteral("Newington, CT")},
            {QStringLiteral("Network/DirectoryServers"), m_block + QStringLiteral(".3")},
            {QStringLiteral("Network/BindAddress"), m_address},
            {QStringLiteral("Timing/DirectoryRetryMs"), QStringLiteral("200")},
            {QStringLiteral("Timing/DirectoryTimeoutMs"), QStringLiteral("2000")},
            {QStringLiteral("Timing/ListRefreshMs"), QStringLiteral("1000")},
            {QStringLiteral("Timing/UnknownCallerFetchMs"), QStringLiteral("0")},
            // No sound card unless a test gives the node one.
            {QStringLiteral("Audio/InputDevice"), QString()},
            {QStringLiteral("Audio/OutputDevice"), QString()}};
}

QString NodeProcess::configPath() const
{
    return m_home.path() + QStringLiteral("/echolink-node/echolink-node.conf");
}

void NodeProcess::writeConfig(const QMap<QString, QString> &values)
{
    QDir().mkpath(m_home.path() + QStringLiteral("/echolink-node"));
    QFile file(configPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QString group;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString keyGroup = it.key().section(QLatin1Char('/'), 0, 0);
        if (keyGroup != group)
            file.write(QStringLiteral("[%1]\n").arg(group = keyGroup).toUtf8());
        file.write((it.key().section(QLatin1Char('/'), 1) + QLatin1Char('=') + it.value() + QLatin1Char('\n'))
                       .toUtf8());
    }
}

bool NodeProcess::start(const QStringList &arguments, bool waitForName)
{
    if (m_bus.address().isEmpty() && !m_bus.start())
        return false;
    m_output.clear();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), stateHome());
    for (auto it = m_environment.cbegin(); it != m_environment.cend(); ++it) {
        if (it.value().isNull())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    m_process.setProcessEnvironment(environment);
    m_process.start(m_program,
                    m_windowed ? arguments : QStringList{QStringLiteral("--no-window")} + arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    if (!waitForName)
        return true;
    const QDeadlineTimer deadline(10000);
    while (!m_bus.serviceOwned()) {
        if (deadline.hasExpired() || !isRunning())
            return false;
        QTest::qWait(20);
    }
    return true;
}

void NodeProcess::sendSignal(int signal) const
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), signal);
}

int NodeProcess::waitForExit(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (isRunning() && !deadline.hasExpired())
        QTest::qWait(20);
    if (isRunning())
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString NodeProcess::output()
{
    m_output += QString::fromUtf8(m_process.readAllStandardError());
    return m_output;
}

bool NodeProcess::waitForOutput(const QString &text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(text)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool NodeProcess::waitForStations(int count, int timeoutMs)
{
    const QString mark = QStringLiteral("station list: ");
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QString log = output();
        const qsizetype last = log.lastIndexOf(mark);
        if (last >= 0 && log.mid(last + mark.size()).section(QLatin1Char(' '), 0, 0).toInt() == count)
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
}

QDBusMessage NodeProcess::call(const char *path, const char *interface, const char *method,
                               const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QLatin1String(Automation::ServiceName), QLatin1String(path),
                                       QLatin1String(interface), QLatin1String(method));
    message.setArguments(arguments);
    return m_bus.connection().call(message, QDBus::Block, Automation::CallTimeoutMs);
}

QDBusMessage NodeProcess::connectTo(const QString &call)
{
    return this->call(Automation::ApplicationPath, Automation::ApplicationInterface,
                      Automation::ConnectMethod, {call, 0});
}

QDBusMessage NodeProcess::disconnect(const QString &call)
{
    return this->call(Automation::ApplicationPath, Automation::ApplicationInterface,
                      Automation::DisconnectMethod, {call});
}

bool NodeProcess::isConnected(const QString &call)
{
    const QDBusMessage reply = this->call(Automation::ApplicationPath, Automation::ApplicationInterface,
                                          Automation::IsConnectedMethod, {call});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

QStringList NodeProcess::links()
{
    return call(Automation::StationPath, Automation::StationInterface, Automation::LinksMethod)
        .arguments()
        .value(0)
        .toStringList();
}

QString NodeProcess::directoryStatus()
{
    return call(Automation::StationPath, Automation::StationInterface, Automation::DirectoryStatusMethod)
        .arguments()
        .value(0)
        .toString();
}

bool NodeProcess::waitForLinked(const QString &call, bool linked, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (isConnected(call) != linked) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}
