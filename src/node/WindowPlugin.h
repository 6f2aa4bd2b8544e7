// What the node's window plugin (echolink-node-window.so, built from node/window) gives the
// node: everything that needs Qt Widgets and Gui, so that a node without a window never
// loads them. Declared here, over QtCore alone; the plugin implements it.
#pragma once

#include <QString>
#include <QtPlugin>

#include <memory>

class Node;
class QCoreApplication;

class WindowPlugin
{
public:
    virtual ~WindowPlugin() = default;

    // The application object of a node with a window (a QApplication). Made before any
    // other Qt object, and only once.
    virtual std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv) = 0;
    // Makes and shows the station's window over the node; the plugin keeps it until
    // closeWindow(), which comes before the application object goes.
    virtual void showWindow(Node &node) = 0;
    virtual void closeWindow() = 0;
    // A critical message box with this text, titled with the program's name; returns once
    // the user has dismissed it. Needs the application object.
    virtual void showError(const QString &message) = 0;
};

#define WindowPlugin_iid "org.dialboard.EchoLinkNode.WindowPlugin/1"
Q_DECLARE_INTERFACE(WindowPlugin, WindowPlugin_iid)
