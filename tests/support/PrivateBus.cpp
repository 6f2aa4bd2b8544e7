#include "PrivateBus.h"

#include "automation/AutomationContract.h"

#include <QDBusConnectionInterface>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int StopMs = 3000;
constexpr int AddressFd = 3;
constexpr int AddressMax = 1024;

// Writes the configuration to a new file in /tmp; its name, or empty on failure.
QByteArray writeConfiguration(const QByteArray &text)
{
    char name[] = "/tmp/dialboard-bus-XXXXXX.conf";
    const int fd = mkstemps(name, 5);
    if (fd < 0)
        return {};
    const bool written = write(fd, text.constData(), size_t(text.size())) == text.size();
    close(fd);
    if (!written) {
        unlink(name);
        return {};
    }
    return name;
}

}  // namespace

QByteArray PrivateBus::configuration(const QString &serviceDirectory, const QString &socketPath)
{
    const QString listen =
        socketPath.isEmpty() ? QStringLiteral("unix:tmpdir=/tmp") : QStringLiteral("unix:path=") + socketPath;
    QString text =
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n"
                       "  <type>session</type>\n"
                       "  <keep_umask/>\n"
                       "  <listen>%1</listen>\n"
                       "  <auth>EXTERNAL</auth>\n")
            .arg(listen.toHtmlEscaped());
    if (!serviceDirectory.isEmpty())
        text += QStringLiteral("  <servicedir>%1</servicedir>\n").arg(serviceDirectory.toHtmlEscaped());
    text += QStringLiteral("  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n");
    return text.toUtf8();
}

PrivateBus::PrivateBus(const QString &connectionName) : m_name(connectionName)
{}

PrivateBus::~PrivateBus()
{
    stop();
}

bool PrivateBus::start()
{
    const QByteArray config = writeConfiguration(configuration(m_serviceDirectory, m_socketPath));
    if (config.isEmpty())
        return false;
    const QByteArray configOption = "--config-file=" + config;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        unlink(config.constData());
        return false;
    }
    const pid_t test = getpid();
    const pid_t bus = fork();
    if (bus == 0) {
        // Only async-signal-safe calls here: the test may already have threads.
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
        execlp("dbus-daemon", "dbus-daemon", configOption.constData(), "--nofork", "--print-address=3",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    if (bus < 0) {
        close(out[0]);
        unlink(config.constData());
        return false;
    }
    m_pid = bus;
    char address[AddressMax] = {};
    FILE *reader = fdopen(out[0], "r");
    const bool read = reader && std::fgets(address, sizeof address, reader);
    if (reader)
        std::fclose(reader);
    else
        close(out[0]);
    // The daemon has read its configuration once it gives its address.
    unlink(config.constData());
    m_address = QString::fromLocal8Bit(address).trimmed();
    if (!read || m_address.isEmpty()) {
        stop();
        return false;
    }
    return m_name.isEmpty() || connection().isConnected();
}

void PrivateBus::stop()
{
    if (!m_name.isEmpty())
        QDBusConnection::disconnectFromBus(m_name);
    if (m_pid <= 0)
        return;
    const pid_t bus = pid_t(m_pid);
    m_pid = 0;
    m_address.clear();
    kill(bus, SIGTERM);
    for (int waited = 0; waited < StopMs; waited += 10) {
        if (waitpid(bus, nullptr, WNOHANG) != 0)
            return;
        usleep(10 * 1000);
    }
    kill(bus, SIGKILL);
    waitpid(bus, nullptr, 0);
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
