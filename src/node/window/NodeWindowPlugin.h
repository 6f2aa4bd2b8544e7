// The window plugin of echolink-node: the QApplication, the station's window and the
// error box, so that the executable itself links neither Qt Widgets nor Gui.
#pragma once

#include "node/WindowPlugin.h"

#include <QObject>

#include <memory>

class NodeWindow;

class NodeWindowPlugin : public QObject, public WindowPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WindowPlugin_iid)
    Q_INTERFACES(WindowPlugin)

public:
    NodeWindowPlugin();
    ~NodeWindowPlugin() override;

    std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv) override;
    void showWindow(Node &node) override;
    void closeWindow() override;
    void showError(const QString &message) override;

private:
    std::unique_ptr<NodeWindow> m_window;
};
