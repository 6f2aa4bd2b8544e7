// echolink-node: an EchoLink station on the EchoLink network that serves the automation
// contract on the session bus, so the panel links real stations. Its window comes from a
// plugin loaded only when a window is wanted and can be shown, so that a node without one
// never loads Qt Widgets or Gui.
#include "node/AsyncQtApplication.h"
#include "node/DisplayEnvironment.h"
#include "node/Node.h"
#include "node/NodeBus.h"
#include "node/NodeConfig.h"
#include "node/NodeLog.h"
#include "node/UnixSignals.h"
#include "node/WindowPlugin.h"
#include "node/WindowPluginLoader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

#include <cstdio>
#include <memory>

namespace {

constexpr int UsageError = 2;

int usageError(const QString &message)
{
    std::fprintf(stderr, "echolink-node: %s\n", qPrintable(message));
    return UsageError;
}

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("EchoLink station that serves EchoLink's automation objects on the session bus."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Configuration file (default $XDG_CONFIG_HOME/echolink-node/echolink-node.conf)."),
        QStringLiteral("FILE"));
    parser.addOption(configOption);
    const QCommandLineOption noAudioOption(
        QStringLiteral("no-audio"),
        QStringLiteral("Run without a sound card: linked stations still hear each other."));
    parser.addOption(noAudioOption);
    const QCommandLineOption noWindowOption(
        QStringLiteral("no-window"),
        QStringLiteral("Run without a window (a desktop service): the bus and the links only."));
    parser.addOption(noWindowOption);
    if (!parser.parse(argumentsOf(argc, argv)))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    UnixSignals signals;
    if (!signals.install())
        return usageError(QStringLiteral("cannot watch SIGTERM and SIGINT"));

    // The window, and with it the kind of application object, is settled before anything
    // else: --help, --help-all and --version print and exit, and need no display.
    const bool informational =
        parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all")) || parser.isSet(versionOption);
    const DisplayEnvironment display;
    QString headless;  // why a window was wanted and none is shown
    WindowPluginLoader loader;
    WindowPlugin *window = nullptr;
    if (!parser.isSet(noWindowOption) && !informational) {
        if (!display.hasDisplay())
            headless = display.noDisplayReason();
        else if ((window = loader.load()) == nullptr)
            headless = QStringLiteral("no window: %1").arg(loader.error());
    }
    const std::unique_ptr<QCoreApplication> app = window != nullptr
                                                      ? window->makeApplication(argc, argv)
                                                      : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("echolink-node"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ECHOLINK_NODE_VERSION));
    if (informational)
        parser.process(*app);  // prints the text asked for and exits
    if (!headless.isEmpty())
        NodeLog::write(headless + QStringLiteral("; running headless"), NodeLog::Priority::Warning);

    // An error that ends the node before its window shows goes to standard error, and to
    // a message box as well when nobody reads standard error.
    const auto fail = [&](const QString &message) {
        NodeLog::write(message, NodeLog::Priority::Error);
        if (window != nullptr && display.startedFromDesktop())
            window->showError(message);
        return 1;
    };

    // The audio library's core runs on this loop; it outlives every audio object.
    AsyncQtApplication asyncCore;

    NodeConfigFile file(parser.isSet(configOption) ? parser.value(configOption)
                                                   : NodeConfigFile::defaultPath());
    if (!parser.isSet(configOption) && !file.createIfMissing())
        return fail(file.error());
    NodeConfig config;
    if (!file.load(config))
        return fail(file.error());

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no D-Bus session bus: %1").arg(bus.lastError().message()));
    Node node(config);
    node.startAudio(parser.isSet(noAudioOption), file.path());
    NodeBus service(node, bus);
    node.setBus(&service);
    // The objects go on the bus before the name, so a caller that sees the name finds them.
    if (!service.registerObjects())
        return fail(QStringLiteral("cannot register the objects: %1").arg(bus.lastError().message()));
    const QString nameError = service.ownName();
    if (!nameError.isEmpty())
        return fail(nameError);

    const QString blocker = file.networkingBlocker(config);
    if (!blocker.isEmpty()) {
        node.keepOffline(blocker);
    } else {
        const QString error = node.startNetworking(file.path());
        if (!error.isEmpty())
            return fail(error);
    }
    if (window != nullptr)
        window->showWindow(node);
    QObject::connect(&signals, &UnixSignals::quitRequested, &node, &Node::quit);
    signals.watch();
    const int status = app->exec();
    if (window != nullptr)
        window->closeWindow();  // it shows the node, which goes next
    return status;
}
