#include "PanelProcess.h"

#include "Desktop.h"

#include <QDir>
#include <QFile>

namespace {

constexpr int StartMs = 5000;
constexpr int EndMs = 5000;

}  // namespace

PanelProcess::PanelProcess()
{
    setProcessChannelMode(QProcess::ForwardedChannels);
}

PanelProcess::~PanelProcess()
{
    stop();
}

bool PanelProcess::seedSettings(const QString &configHome, const QByteArray &settings)
{
    const QString folder = configHome + QStringLiteral("/Dialboard");
    QFile file(folder + QStringLiteral("/Dialboard.conf"));
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(settings) == settings.size();
}

bool PanelProcess::start(const QMap<QString, QString> &variables)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        environment.insert(it.key(), it.value());
    return startWith(environment);
}

bool PanelProcess::startWith(const QProcessEnvironment &environment)
{
    setProcessEnvironment(environment);
    QProcess::start(QStringLiteral(DIALBOARD_PATH), arguments());
    return waitForStarted(StartMs);
}

void PanelProcess::stop()
{
    if (state() != QProcess::NotRunning) {
        kill();
        waitForFinished(EndMs);
    }
}

WId PanelProcess::window(const QString &title) const
{
    return Desktop::windowTitled(processId(), title);
}

WId PanelProcess::waitForWindow(const QString &title, int timeoutMs) const
{
    return Desktop::waitForWindow(processId(), title, timeoutMs);
}
