// What the kernel reports about a running process: memory, CPU time and how often its
// threads went to sleep of their own accord (each such sleep is a wake-up later).
#pragma once

#include <QMap>
#include <QString>
#include <sys/types.h>

struct ThreadStats
{
    QString name;  // "dialboard" for the panel's main thread, "QDBusConnection" for Qt's bus thread, ...
    long voluntarySwitches = 0;
};

struct ProcessStats
{
    double rssMiB = 0;        // resident set now
    double highWaterMiB = 0;  // largest resident set so far
    double cpuSeconds = 0;    // user + system time of all threads
    long mainThreadSwitches = 0;
    QMap<long, ThreadStats> threads;  // by thread id
    bool valid = false;

    static ProcessStats of(pid_t pid);

    // Wake-ups between two readings of one process, by thread name: the voluntary switches
    // of each thread since `before` (one started since counts in full; one that ended
    // since is no longer seen).
    static QMap<QString, long> wakeupsByThreadName(const ProcessStats &before, const ProcessStats &after);
    // The same, summed over all threads.
    static long wakeups(const ProcessStats &before, const ProcessStats &after);
};
