#include "node/WindowPluginLoader.h"

#include "node/WindowPlugin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QStringList WindowPluginLoader::candidates(const QString &executable)
{
    const QString bin = QFileInfo(executable).absolutePath();
    const QString name = QLatin1String(FileName);
    // From <prefix>/<bindir> up to the prefix, then down to the plugin folder.
    const QString installed =
        QDir::cleanPath(bin + QStringLiteral("/" ECHOLINK_NODE_BIN_TO_PLUGIN_DIR "/") + name);
    return {bin + QLatin1Char('/') + name, installed};
}

WindowPlugin *WindowPluginLoader::load()
{
    // The executable's real place; QCoreApplication, which would say it too, is not made
    // yet, since the plugin decides which application object to make.
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QStringList places = candidates(executable);
    for (const QString &place : places) {
        if (!QFileInfo::exists(place))
            continue;
        m_loader.setFileName(place);
        // Every symbol resolved now: a plugin that does not fit this executable fails
        // here, with the reason, not later in the middle of the window.
        m_loader.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        auto *plugin = qobject_cast<WindowPlugin *>(m_loader.instance());
        if (plugin != nullptr)
            return plugin;
        m_error = m_loader.errorString();
        if (m_error.isEmpty() || m_error == QLatin1String("Unknown error"))
            m_error = QStringLiteral("%1 is not the node's window plugin").arg(place);
        return nullptr;
    }
    m_error = QStringLiteral("%1 not found (looked in %2)")
                  .arg(QLatin1String(FileName), places.join(QStringLiteral(", ")));
    return nullptr;
}
