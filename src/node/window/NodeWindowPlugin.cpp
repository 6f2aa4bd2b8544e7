#include "node/window/NodeWindowPlugin.h"

#include "node/window/NodeWindow.h"

#include <QApplication>
#include <QMessageBox>

NodeWindowPlugin::NodeWindowPlugin() = default;

NodeWindowPlugin::~NodeWindowPlugin() = default;

std::unique_ptr<QCoreApplication> NodeWindowPlugin::makeApplication(int &argc, char **argv)
{
    auto app = std::make_unique<QApplication>(argc, argv);
    // Closing the window ends the node, which ends the program once it has logged off
    // and raised Closing: not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}

void NodeWindowPlugin::showWindow(Node &node)
{
    m_window = std::make_unique<NodeWindow>(node);
    m_window->show();
}

void NodeWindowPlugin::closeWindow()
{
    m_window.reset();
}

void NodeWindowPlugin::showError(const QString &message)
{
    QMessageBox::critical(nullptr, QStringLiteral("echolink-node"), message);
}
