// The panel's command line and environment: which bus EchoLink is on.
//
//   dialboard [--echolink-bus ADDRESS]
//
// ADDRESS is a D-Bus address, for instance unix:path=/run/user/1000/echolink.sock (a
// socket that SSH forwards to the session bus of the machine EchoLink runs on). Without
// the option, DIALBOARD_ECHOLINK_BUS gives it; without either, EchoLink is on the session
// bus.
#pragma once

#include <QString>
#include <QStringList>

namespace CommandLine {

inline constexpr char BusVariable[] = "DIALBOARD_ECHOLINK_BUS";

struct Options
{
    QString echoLinkBus;  // empty: the session bus
};

// Reads the arguments (the program's name first, Qt's own options already taken out) and
// the environment. --help prints the usage and ends the process; an unknown option or a
// missing value is said on stderr and ends it with a failure status.
Options read(const QStringList &arguments);

}  // namespace CommandLine
