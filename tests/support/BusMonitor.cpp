#include "BusMonitor.h"

#include <QRegularExpression>

BusMonitor::~BusMonitor()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool BusMonitor::start(const QString &address)
{
    m_process.start(QStringLiteral("dbus-monitor"), address.isEmpty()
                                                        ? QStringList{QStringLiteral("--session")}
                                                        : QStringList{QStringLiteral("--address"), address});
    return m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000);
}

QList<BusMonitor::Call> BusMonitor::calls()
{
    m_text += QString::fromUtf8(m_process.readAllStandardOutput());
    static const QRegularExpression line(
        QStringLiteral("^method call time=([0-9.]+) sender=\\S+ -> destination=\\S+ serial=\\d+ "
                       "path=(/EchoLink|/SetupConfig|/SysopConfig); interface=[^;]+; member=(\\w+)"),
        QRegularExpression::MultilineOption);
    QList<Call> found;
    for (auto it = line.globalMatch(m_text); it.hasNext();) {
        const auto match = it.next();
        found.append({match.captured(1).toDouble(), match.captured(2), match.captured(3)});
    }
    return found;
}
