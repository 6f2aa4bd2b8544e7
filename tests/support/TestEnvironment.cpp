#include "TestEnvironment.h"

#include <QByteArray>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

QByteArray configDir;

// Starts a session bus daemon of our own and returns its pid; its address goes into
// DBUS_SESSION_BUS_ADDRESS for the test and every process the test starts.
long startPrivateBus()
{
    FILE *out = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
    if (!out) {
        std::perror("dbus-daemon");
        std::exit(EXIT_FAILURE);
    }
    char address[1024] = {};
    char pid[64] = {};
    const bool ok = std::fgets(address, sizeof address, out) && std::fgets(pid, sizeof pid, out);
    pclose(out);
    if (!ok) {
        std::fputs("test: could not start a private session bus (dbus-daemon)\n", stderr);
        std::exit(EXIT_FAILURE);
    }
    std::string line(address);
    line.erase(line.find_last_not_of("\r\n") + 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", line.c_str(), 1);
    return std::atol(pid);
}

}  // namespace

TestEnvironment::TestEnvironment(Display display)
{
    char pattern[] = "/tmp/dialboard-test-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        std::exit(EXIT_FAILURE);
    }
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
        kill(static_cast<pid_t>(m_busPid), SIGTERM);
    QDir(QString::fromLocal8Bit(configDir)).removeRecursively();
}

QString TestEnvironment::configHome()
{
    return QString::fromLocal8Bit(configDir);
}
