// echolink-sim: a stand-in for EchoLink. It owns EchoLink's bus name and serves the
// automation objects, so the panel runs and is tested on any machine; its /Control
// object lets tests read the calls it received and make it fail, hang or close.
#include "AutomationService.h"
#include "Control.h"
#include "SimWindow.h"
#include "Station.h"
#include "StationObject.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>

#include <cstdio>
#include <memory>

namespace {

constexpr int UsageError = 2;

int fail(const QString &message, int status = 1)
{
    std::fprintf(stderr, "echolink-sim: %s\n", qPrintable(message));
    return status;
}

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void setApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("echolink-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ECHOLINK_SIM_VERSION));
}

}  // namespace

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stand-in for EchoLink: serves its automation objects on the session bus."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption callsignOption(QStringLiteral("callsign"),
                                            QStringLiteral("Station callsign (default N0CALL-L)."),
                                            QStringLiteral("CALL"), QStringLiteral("N0CALL-L"));
    const QCommandLineOption delayOption(
        QStringLiteral("connect-delay"),
        QStringLiteral("Milliseconds a link takes to come up (default 1000, 0 for at once)."),
        QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption noWindowOption(QStringLiteral("no-window"),
                                            QStringLiteral("Run without a window or display."));
    const QCommandLineOption withoutOption(
        QStringLiteral("without"),
        QStringLiteral("Leave the object out: setup (/SetupConfig), sysop (/SysopConfig) or "
                       "station (/Station, as an EchoLink without it). May be repeated."),
        QStringLiteral("setup|sysop|station"));
    parser.addOptions({callsignOption, delayOption, noWindowOption, withoutOption});

    // Everything is checked before the application object exists: only the window needs a
    // display, and --help, --version and option errors must work without one.
    if (!parser.parse(argumentsOf(argc, argv)))
        return fail(parser.errorText(), UsageError);
    if (parser.isSet(helpOption) || parser.isSet(versionOption) || parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication app(argc, argv);
        setApplicationNames();
        parser.process(app);  // prints the text asked for and exits
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                    UsageError);
    bool delayOk = false;
    const int connectDelayMs = parser.value(delayOption).toInt(&delayOk);
    if (!delayOk || connectDelayMs < 0)
        return fail(QStringLiteral("--connect-delay wants milliseconds (a whole number, 0 or more), "
                                   "not '%1'")
                        .arg(parser.value(delayOption)),
                    UsageError);
    bool withSetupConfig = true;
    bool withSysopConfig = true;
    bool withStation = true;
    for (const QString &object : parser.values(withoutOption)) {
        if (object == QLatin1String("setup"))
            withSetupConfig = false;
        else if (object == QLatin1String("sysop"))
            withSysopConfig = false;
        else if (object == QLatin1String("station"))
            withStation = false;
        else
            return fail(QStringLiteral("--without wants 'setup', 'sysop' or 'station', not '%1'").arg(object),
                        UsageError);
    }

    const bool withWindow = !parser.isSet(noWindowOption);
    if (withWindow && !hasDisplay())
        return fail(QStringLiteral("no display for the window (set DISPLAY, or pass --no-window)"));
    std::unique_ptr<QCoreApplication> app;
    if (withWindow)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    setApplicationNames();

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no D-Bus session bus: %1").arg(bus.lastError().message()));

    Station station(parser.value(callsignOption), connectDelayMs);
    AutomationService service(station, bus);
    StationObject stationObject(station, bus);
    Control control(station, service, stationObject);
    // The objects go on the bus before the name, so a caller that sees the name finds them.
    if (!service.registerObjects(withSetupConfig, withSysopConfig)
        || (withStation && !stationObject.registerObject())
        || !bus.registerObject(QLatin1String(Automation::ControlPath),
                               QLatin1String(Automation::ControlInterface), &control,
                               QDBusConnection::ExportAllSlots))
        return fail(QStringLiteral("cannot register the objects: %1").arg(bus.lastError().message()));

    const QString nameError = service.ownName();
    if (!nameError.isEmpty())
        return fail(nameError);
    std::fprintf(stderr, "echolink-sim: serving %s\n", Automation::ServiceName);

    std::unique_ptr<SimWindow> window;
    if (withWindow) {
        // The window quits through Closing, after the signal has left.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        window = std::make_unique<SimWindow>(station, service);
        window->show();
    }
    return app->exec();
}
