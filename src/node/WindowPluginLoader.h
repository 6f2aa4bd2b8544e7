// Finds and loads the node's window plugin: beside the executable (a build tree), else in
// the library folder of the installation the executable belongs to
// (<prefix>/<libdir>/echolink-node/, found from the executable's own place, so an
// unpacked or relocated installation uses its own plugin).
#pragma once

#include <QPluginLoader>
#include <QString>
#include <QStringList>

class WindowPlugin;

class WindowPluginLoader
{
public:
    static constexpr const char *FileName = "echolink-node-window.so";

    // The places looked in, in order, for the executable at `executable`.
    static QStringList candidates(const QString &executable);
    // Loads the first plugin found; null when none loads, and error() says why.
    WindowPlugin *load();
    QString error() const { return m_error; }

private:
    QPluginLoader m_loader;
    QString m_error;
};
