#include "TestEnvironment.h"

#include "TestProcessGroup.h"

#include <QByteArray>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray configDir;
constexpr int BusStopMs = 3000;
constexpr int AddressFd = 3;

// Starts a session bus daemon of our own and returns its pid; its address goes into
// DBUS_SESSION_BUS_ADDRESS for the test and every process the test starts. It runs in the
// foreground as our child, so it stays in the test's process group, and it is told to end
// when the test does.
long startPrivateBus()
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        std::perror("test: pipe");
        std::exit(EXIT_FAILURE);
    }
    const pid_t test = getpid();
    const pid_t bus = fork();
    if (bus == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != test)
            _exit(EXIT_FAILURE);
        // Quiet, as a forking daemon is, so that nothing it starts holds the test's output;
        // the address comes on descriptor 3.
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (out[1] == AddressFd)
            fcntl(AddressFd, F_SETFD, 0);
        else
            dup2(out[1], AddressFd);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=3",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char address[1024] = {};
    FILE *reader = fdopen(out[0], "r");
    const bool ok = bus > 0 && reader && std::fgets(address, sizeof address, reader);
    if (reader)
        std::fclose(reader);
    if (!ok) {
        std::fputs("test: could not start a private session bus (dbus-daemon)\n", stderr);
        std::exit(EXIT_FAILURE);
    }
    std::string line(address);
    line.erase(line.find_last_not_of("\r\n") + 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", line.c_str(), 1);
    return bus;
}

// Asks the bus to end and waits for it, killing it if it does not end in time.
void stopPrivateBus(pid_t bus)
{
    kill(bus, SIGTERM);
    for (int waited = 0; waited < BusStopMs; waited += 10) {
        if (waitpid(bus, nullptr, WNOHANG) != 0)
            return;
        usleep(10 * 1000);
    }
    kill(bus, SIGKILL);
    waitpid(bus, nullptr, 0);
}

}  // namespace

TestEnvironment::TestEnvironment(Display display)
{
    char pattern[] = "/tmp/dialboard-test-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::exit(EXIT_FAILURE);
    }
    TestProcessGroup::guard();
    configDir = pattern;
    setenv("XDG_CONFIG_HOME", pattern, 1);
    setenv("XDG_RUNTIME_DIR", pattern, 1);
    if (display == Display::Offscreen || qEnvironmentVariableIsEmpty("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    else
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    m_busPid = startPrivateBus();
}

TestEnvironment::~TestEnvironment()
{
    if (m_busPid > 0)
        stopPrivateBus(static_cast<pid_t>(m_busPid));
    QDir(QString::fromLocal8Bit(configDir)).removeRecursively();
}

QString TestEnvironment::configHome()
{
    return QString::fromLocal8Bit(configDir);
}
