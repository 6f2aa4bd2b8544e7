#include "Heartbeat.h"

#include <QFile>
#include <algorithm>
#include <sched.h>
#include <unistd.h>

namespace {

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Time each of the machine's CPUs was held back by the host since boot (steal time in
// /proc/stat, by CPU number): on a virtual machine, the wall time during which nothing
// ran on that CPU. Clock-tick resolution (10 ms).
std::vector<double> stolenMsByCpu()
{
    // "cpuN user nice system idle iowait irq softirq steal ...", in clock ticks.
    std::vector<double> stolen;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    for (const QByteArray &line : readProcFile(QStringLiteral("/proc/stat")).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (!fields.value(0).startsWith("cpu") || fields.value(0) == "cpu")
            continue;
        const auto cpu = std::size_t(fields.value(0).mid(3).toUInt());
        stolen.resize(std::max(stolen.size(), cpu + 1));
        stolen[cpu] = fields.value(8).toDouble() * 1000.0 / ticks;
    }
    return stolen;
}

// Time the calling thread has spent ready to run but waiting for a CPU that other
// threads held (the run delay in /proc/thread-self/schedstat), since it started.
double runQueueDelayMs()
{
    // "time on the CPU, time waiting for it, time slices", in nanoseconds.
    const QList<QByteArray> fields =
        readProcFile(QStringLiteral("/proc/thread-self/schedstat")).simplified().split(' ');
    return fields.value(1).toDouble() / 1e6;
}

}  // namespace

Heartbeat::Heartbeat()
{
    m_timer.setInterval(1);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { beat(); });
    reset();
    m_timer.start();
}

void Heartbeat::reset()
{
    m_clock.start();
    m_cpu = sched_getcpu();
    m_stolen = stolenMsByCpu();
    m_waited = runQueueDelayMs();
    m_longest = m_longestOwn = 0;
}

double Heartbeat::longestMs()
{
    beat();
    return m_longest;
}

double Heartbeat::longestOwnMs()
{
    beat();
    return m_longestOwn;
}

void Heartbeat::beat()
{
    const double gap = double(m_clock.nsecsElapsed()) / 1e6;
    const int cpu = sched_getcpu();
    const std::vector<double> stolen = stolenMsByCpu();
    const double waited = runQueueDelayMs();
    m_clock.start();
    // The gap began on one CPU and ended on another, or the same.
    const auto stolenOn = [&](int at) {
        const auto i = std::size_t(at);
        return i < stolen.size() && i < m_stolen.size() ? stolen[i] - m_stolen[i] : 0.0;
    };
    const double notOwn = std::max({stolenOn(m_cpu), stolenOn(cpu), waited - m_waited});
    m_longest = std::max(m_longest, gap);
    m_longestOwn = std::max(m_longestOwn, std::max(0.0, gap - notOwn));
    m_cpu = cpu;
    m_stolen = stolen;
    m_waited = waited;
}
