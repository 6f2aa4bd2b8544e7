#include "TestProcessGroup.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <sys/types.h>
#include <unistd.h>

namespace {

// How long the processes left over get to end on SIGTERM (a bus removes its socket file)
// before the rest of the group is killed.
constexpr int GraceMs = 2000;
constexpr int PollMs = 20;

void noteSignal(int)
{}

bool groupHasProcesses(pid_t group)
{
    return ::kill(-group, 0) == 0 || errno == EPERM;
}

void sleepMs(int ms)
{
    const timespec pause{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

// The watcher: waits until the test has ended (its end of the pipe closes) or until it is
// told to stop (Ctrl-C reaches the watcher, which stays in the terminal's group), then
// ends the test's group. Only async-signal-safe calls: it runs in a forked copy of a
// process that may already have threads.
[[noreturn]] void watch(int testAlive, pid_t group)
{
    if (getpgrp() == group)  // the test already headed its group (a shell's job)
        setpgid(0, 0);
    // Holds none of the test's output: whoever reads it need not wait for the watcher.
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
    }
    struct sigaction stop = {};
    stop.sa_handler = noteSignal;  // no SA_RESTART: the read below returns
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &stop, nullptr);

    char byte;
    while (read(testAlive, &byte, 1) > 0) {}
    ::kill(-group, SIGTERM);
    for (int waited = 0; waited < GraceMs && groupHasProcesses(group); waited += PollMs)
        sleepMs(PollMs);
    ::kill(-group, SIGKILL);
    _exit(0);
}

}  // namespace

namespace TestProcessGroup {

void guard()
{
    setpgid(0, 0);  // fails only for a session leader, which heads its group already
    const pid_t group = getpid();
    if (getpgrp() != group) {
        std::fputs("test: cannot head a process group; processes may outlive the test\n", stderr);
        return;
    }
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        std::perror("test: pipe");
        return;
    }
    const pid_t watcher = fork();
    if (watcher == 0) {
        close(pipeEnds[1]);
        watch(pipeEnds[0], group);
    }
    if (watcher < 0)
        std::perror("test: fork");
    // The write end stays open, unused, for as long as this process lives; close-on-exec
    // keeps it from the programs the test starts.
    close(pipeEnds[0]);
}

}  // namespace TestProcessGroup
