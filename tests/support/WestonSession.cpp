#include "WestonSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

const QString SocketName = QStringLiteral("dialboard-test-wayland");
constexpr int StartTimeoutMs = 15000;

// XWayland listens on /tmp/.X11-unix as every X server does; a desktop system makes the
// directory at boot, a bare container may not have it.
bool ensureX11SocketDirectory()
{
    const QString dir = QStringLiteral("/tmp/.X11-unix");
    if (QFileInfo(dir).isDir())
        return true;
    return QDir().mkdir(dir) && ::chmod(qPrintable(dir), 01777) == 0;
}

}  // namespace

WestonSession::~WestonSession()
{
    stop();
}

bool WestonSession::installed()
{
    const QString platforms = QStringLiteral("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms");
    return !QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("Xwayland")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("weston-screenshooter")).isEmpty()
           && QFileInfo::exists(platforms + QStringLiteral("/libqwayland-generic.so"));
}

QString WestonSession::waylandDisplay() const
{
    return SocketName;
}

bool WestonSession::start(bool withXWayland)
{
    if (!m_runtime.isValid()) {  // made 0700, as the runtime directory must be
        m_whyNot = QStringLiteral("no temporary runtime directory");
        return false;
    }
    if (withXWayland && !ensureX11SocketDirectory()) {
        m_whyNot = QStringLiteral("cannot make /tmp/.X11-unix for XWayland");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_weston.setProcessEnvironment(environment);
    m_weston.setProcessChannelMode(QProcess::MergedChannels);
    // --debug lets weston-screenshooter take pictures; the pixman renderer draws them.
    QStringList arguments = {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                             QStringLiteral("--debug"), QStringLiteral("--idle-time=0"),
                             QStringLiteral("--socket=") + SocketName};
    if (withXWayland)
        arguments << QStringLiteral("--xwayland");
    m_weston.start(QStringLiteral("weston"), arguments);
    if (!m_weston.waitForStarted(5000)) {
        m_whyNot = QStringLiteral("weston did not start: ") + m_weston.errorString();
        return false;
    }

    const QString socket = m_runtime.path() + QLatin1Char('/') + SocketName;
    const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
    const bool up = QTest::qWaitFor(
        [&] {
            m_log += QString::fromLocal8Bit(m_weston.readAll());
            if (m_weston.state() != QProcess::Running)
                return true;
            if (!QFileInfo::exists(socket))
                return false;
            if (withXWayland)
                m_xDisplay = listening.match(m_log).captured(1);
            return !withXWayland || !m_xDisplay.isEmpty();
        },
        StartTimeoutMs);
    if (!up || m_weston.state() != QProcess::Running) {
        m_whyNot = QStringLiteral("weston did not come up; its log:\n") + m_log;
        stop();
        return false;
    }
    return true;
}

void WestonSession::stop()
{
    if (m_weston.state() == QProcess::NotRunning)
        return;
    m_weston.terminate();
    if (!m_weston.waitForFinished(5000)) {
        m_weston.kill();
        m_weston.waitForFinished(2000);
    }
}

bool WestonSession::saveScreenshot(const QString &path) const
{
    // The screenshooter writes wayland-screenshot-<time>.png into its working directory.
    QTemporaryDir work;
    QProcess shooter;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), SocketName);
    shooter.setProcessEnvironment(environment);
    shooter.setWorkingDirectory(work.path());
    shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
    if (!shooter.waitForFinished(10000) || shooter.exitCode() != 0)
        return false;
    const QStringList taken = QDir(work.path()).entryList({QStringLiteral("*.png")});
    QFile::remove(path);
    return !taken.isEmpty() && QFile::copy(work.filePath(taken.first()), path);
}
