// What the kernel reports about a running process: memory, CPU time and how often its
// threads went to sleep of their own accord (each such sleep is a wake-up later).
#pragma once

#include <sys/types.h>

struct ProcessStats {
    double rssMiB = 0;         // resident set now
    double highWaterMiB = 0;   // largest resident set so far
    double cpuSeconds = 0;     // user + system time of all threads
    long voluntarySwitches = 0;  // summed over all threads
    long mainThreadSwitches = 0;
    bool valid = false;

    static ProcessStats of(pid_t pid);
};
