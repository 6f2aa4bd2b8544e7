#include "node/DisplayEnvironment.h"

#include <QStringList>

#include <unistd.h>
#include <utility>

DisplayEnvironment::DisplayEnvironment(QProcessEnvironment environment)
    : m_environment(std::move(environment))
{}

bool DisplayEnvironment::hasDisplay() const
{
    const bool x11 = !m_environment.value(QStringLiteral("DISPLAY")).isEmpty();
    const bool wayland = !m_environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    // QT_QPA_PLATFORM may list platforms to try in turn ("wayland;xcb"), each with options
    // after a colon ("offscreen:size=...").
    const QStringList platforms =
        m_environment.value(QStringLiteral("QT_QPA_PLATFORM")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (platforms.isEmpty())
        return x11 || wayland;
    for (const QString &entry : platforms) {
        const QString platform = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (platform == QLatin1String("xcb")) {
            if (x11)
                return true;
        } else if (platform.startsWith(QLatin1String("wayland"))) {
            if (wayland)
                return true;
        } else if (!platform.isEmpty()) {
            return true;  // draws without a display server
        }
    }
    return false;
}

QString DisplayEnvironment::noDisplayReason() const
{
    const QString platform = m_environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (platform.isEmpty())
        return QStringLiteral("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
    return QStringLiteral("no display for QT_QPA_PLATFORM=%1 (neither DISPLAY nor WAYLAND_DISPLAY is set)")
        .arg(platform);
}

bool DisplayEnvironment::startedFromDesktop() const
{
    // Platforms that draw nowhere a user looks (tests, benchmarks) show no box.
    const QString platform =
        m_environment.value(QStringLiteral("QT_QPA_PLATFORM")).section(QLatin1Char(':'), 0, 0).trimmed();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    return hasDisplay() && isatty(STDERR_FILENO) == 0;
}
