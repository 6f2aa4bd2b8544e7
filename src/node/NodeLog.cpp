#include "node/NodeLog.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdio>
#include <sys/stat.h>

void NodeLog::write(const QString &line, Priority priority)
{
    const QByteArray text = format(line, priority) + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

QByteArray NodeLog::format(const QString &line, Priority priority)
{
    const QByteArray body = "echolink-node: " + line.toLocal8Bit();
    if (toJournal())
        return '<' + QByteArray::number(int(priority)) + '>' + body;
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + ' ' + body;
}

bool NodeLog::toJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    struct stat status
    {
    };
    if (!deviceOk || !inodeOk || fstat(fileno(stderr), &status) != 0)
        return false;
    return qulonglong(status.st_dev) == device && qulonglong(status.st_ino) == inode;
}
