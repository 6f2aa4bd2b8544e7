// The commands a station sends the EchoLink directory over TCP port 5200, and the reading
// of the directory's answer to them. A command is one line of fields separated by carriage
// returns: "l" CALLSIGN "\xac\xac" PASSWORD, then the presence with the program version
// (and, when on line, the station's local time), then the description. The directory
// answers "OK" when it takes the registration and anything else when it does not.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>

namespace DirectoryCommand {

enum class Presence { Online, Busy };

// The most of the directory's description of a station, in bytes.
constexpr int MaxDescription = 27;
// The most of an answer that is read: "OK", or a short sentence why not.
constexpr int MaxReply = 256;
// The most of a refusal's text that is shown.
constexpr int MaxReplyText = 80;

// Registers the station as on line or busy since localTime (hours and minutes are sent).
QByteArray logOn(const QString &callsign, const QString &password, const QString &description,
                 Presence presence, const QTime &localTime);
// Takes the station off the directory.
QByteArray logOff(const QString &callsign, const QString &password, const QString &description);

struct Reply
{
    enum class Kind {
        Pending,   // more may come: read on
        Accepted,  // "OK"
        Refused,   // anything else; text holds it, cleaned and cut
        NoAnswer,  // the connection ended without a byte
    };
    Kind kind = Kind::Pending;
    QString text;
};

// Reads the answer received so far; ended says the connection closed or its time is up.
// At most MaxReply bytes of it are looked at: a longer answer is judged on those.
Reply readReply(const QByteArray &received, bool ended);

}  // namespace DirectoryCommand
