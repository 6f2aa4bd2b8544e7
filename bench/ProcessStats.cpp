#include "ProcessStats.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <unistd.h>

namespace {

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number after "Name:" in a /proc status file, or -1.
long statusField(const QByteArray &status, const char *name)
{
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

}  // namespace

ProcessStats ProcessStats::of(pid_t pid)
{
    ProcessStats stats;
    const QString dir = QStringLiteral("/proc/%1").arg(pid);
    const QByteArray status = readProcFile(dir + QStringLiteral("/status"));
    const QByteArray stat = readProcFile(dir + QStringLiteral("/stat"));
    if (status.isEmpty() || stat.isEmpty())
        return stats;

    stats.rssMiB = double(statusField(status, "VmRSS")) / 1024.0;
    stats.highWaterMiB = double(statusField(status, "VmHWM")) / 1024.0;
    stats.mainThreadSwitches = statusField(status, "voluntary_ctxt_switches");

    // Fields after the command name, which is in parentheses and may hold blanks:
    // utime and stime are the 14th and 15th fields of the line, in clock ticks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    stats.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;

    const QStringList threads =
        QDir(dir + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : threads) {
        const QString task = dir + QStringLiteral("/task/") + tid;
        ThreadStats thread;
        thread.name = QString::fromLocal8Bit(readProcFile(task + QStringLiteral("/comm")).trimmed());
        thread.voluntarySwitches =
            qMax(0L, statusField(readProcFile(task + QStringLiteral("/status")), "voluntary_ctxt_switches"));
        stats.threads.insert(tid.toLong(), thread);
    }
    stats.valid = true;
    return stats;
}

QMap<QString, long> ProcessStats::wakeupsByThreadName(const ProcessStats &before, const ProcessStats &after)
{
    QMap<QString, long> byName;
    for (auto it = after.threads.cbegin(); it != after.threads.cend(); ++it)
        byName[it->name] += it->voluntarySwitches - before.threads.value(it.key()).voluntarySwitches;
    return byName;
}

long ProcessStats::wakeups(const ProcessStats &before, const ProcessStats &after)
{
    long all = 0;
    for (const long count : wakeupsByThreadName(before, after))
        all += count;
    return all;
}
