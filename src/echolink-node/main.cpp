// echolink-node: an EchoLink station on the EchoLink network that serves the automation
// contract on the session bus, so the panel links real stations.
#include "node/AsyncQtApplication.h"
#include "node/Node.h"
#include "node/NodeBus.h"
#include "node/NodeConfig.h"
#include "node/UnixSignals.h"
#include "node/window/NodeWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDBusError>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int UsageError = 2;

int fail(const QString &message, int status = 1)
{
    std::fprintf(stderr, "echolink-node: %s\n", qPrintable(message));
    return status;
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
        return fail(parser.errorText(), UsageError);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                    UsageError);

    UnixSignals signals;
    if (!signals.install())
        return fail(QStringLiteral("cannot watch SIGTERM and SIGINT"));
    // --help and --version print and exit: they need no display.
    const bool windowed =
        !parser.isSet(noWindowOption) && !parser.isSet(helpOption) && !parser.isSet(versionOption);
    std::unique_ptr<QCoreApplication> app;
    if (windowed)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("echolink-node"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ECHOLINK_NODE_VERSION));
    if (parser.isSet(helpOption) || parser.isSet(versionOption))
        parser.process(*app);  // prints the text asked for and exits
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
    std::optional<NodeWindow> window;
    if (windowed) {
        // The window's "Close EchoLink" ends the node, which ends the program.
        QApplication::setQuitOnLastWindowClosed(false);
        window.emplace(node);
        window->show();
    }
    QObject::connect(&signals, &UnixSignals::quitRequested, &node, &Node::quit);
    signals.watch();
    return app->exec();
}
