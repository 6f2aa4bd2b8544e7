#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace CommandLine {

Options read(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Speed-dial panel for EchoLink."));
    parser.addHelpOption();
    const QCommandLineOption busOption(
        QStringLiteral("echolink-bus"),
        QStringLiteral("The D-Bus address of the bus EchoLink is on, for instance "
                       "unix:path=/run/user/1000/echolink.sock; default: $%1, else the session bus.")
            .arg(QLatin1String(BusVariable)),
        QStringLiteral("address"));
    parser.addOption(busOption);
    parser.process(arguments);  // prints and ends the process for --help and errors

    Options options;
    options.echoLinkBus =
        parser.isSet(busOption) ? parser.value(busOption) : qEnvironmentVariable(BusVariable);
    return options;
}

}  // namespace CommandLine
