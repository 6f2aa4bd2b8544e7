#include "TestEnvironment.h"

#include "TestProcessGroup.h"

#include <QByteArray>
#include <QDir>
#include <cstdio>
#include <cstdlib>

namespace {

QByteArray configDir;

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
    setenv("XDG_STATE_HOME", pattern, 1);
    if (display == Display::Offscreen || qEnvironmentVariableIsEmpty("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    else
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The test's session bus, and that of every process the test starts.
    if (!m_bus.start()) {
        std::fputs("test: could not start a private session bus (dbus-daemon)\n", stderr);
        std::exit(EXIT_FAILURE);
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toLocal8Bit().constData(), 1);
}

TestEnvironment::~TestEnvironment()
{
    m_bus.stop();
    QDir(QString::fromLocal8Bit(configDir)).removeRecursively();
}

QString TestEnvironment::configHome()
{
    return QString::fromLocal8Bit(configDir);
}
