#include "SimProcess.h"

#include "automation/AutomationContract.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList &arguments)
{
    QStringList all = arguments;
    if (!all.contains(QStringLiteral("--window")))
        all << QStringLiteral("--no-window");
    else
        all.removeAll(QStringLiteral("--window"));
    if (!all.contains(QStringLiteral("--connect-delay")))
        all << QStringLiteral("--connect-delay") << QStringLiteral("0");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(ECHOLINK_SIM_PATH), all);
    if (!m_process.waitForStarted(5000))
        return false;
    return QTest::qWaitFor([this] { return serviceRegistered() || !isRunning(); }, 5000)
           && serviceRegistered();
}

void SimProcess::stop()
{
    if (!isRunning())
        return;
    control(QStringLiteral("Quit"));
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QDBusMessage SimProcess::control(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(Automation::ServiceName), QString::fromLatin1(Automation::ControlPath),
        QString::fromLatin1(Automation::ControlInterface), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 5000);
}

QStringList SimProcess::calls() const
{
    const QDBusMessage reply = control(QStringLiteral("Calls"));
    return reply.arguments().value(0).toStringList();
}

void SimProcess::setLinked(const QString &call, bool linked) const
{
    control(QStringLiteral("SetLinked"), {call, linked});
}

void SimProcess::setStations(const StationListEntries &stations) const
{
    registerStationListTypes();
    control(QStringLiteral("SetStations"), {QVariant::fromValue(stations)});
}

void SimProcess::failLink(const QString &call, const QString &reason, const QString &text) const
{
    control(QStringLiteral("FailLink"), {call, reason, text});
}

bool SimProcess::serviceRegistered()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QString::fromLatin1(Automation::ServiceName));
}
