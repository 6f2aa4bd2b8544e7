#include "PrivateBus.h"

#include "automation/AutomationContract.h"

#include <QDBusConnectionInterface>

PrivateBus::PrivateBus(const QString &connectionName) : m_name(connectionName) {}

PrivateBus::~PrivateBus()
{
    QDBusConnection::disconnectFromBus(m_name);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

bool PrivateBus::start()
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted(5000))
        return false;
    while (!m_daemon.canReadLine())
        if (!m_daemon.waitForReadyRead(5000))
            return false;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    return connection().isConnected();
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection::connectToBus(m_address, m_name);
}

bool PrivateBus::serviceOwned() const
{
    const QDBusConnection bus = connection();
    return bus.isConnected()
           && bus.interface()->isServiceRegistered(QLatin1String(Automation::ServiceName)).value();
}
