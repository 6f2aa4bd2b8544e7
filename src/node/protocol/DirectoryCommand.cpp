#include "node/protocol/DirectoryCommand.h"

namespace DirectoryCommand {

namespace {

// One field of a command: a carriage return would end it early, so none gets through.
QByteArray field(QByteArray bytes)
{
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

QByteArray command(const QString &callsign, const QString &password, const QByteArray &presence,
                   const QString &description)
{
    // The directory shows 27 characters of Latin-1 text.
    const QByteArray shown = field(description.toLatin1()).left(MaxDescription);
    return "l" + field(callsign.toUpper().toLatin1()) + "\xac\xac" + field(password.toUtf8()) + "\r"
           + presence + "\r" + shown + "\r";
}

// The answer as text for the log: printable ASCII, blanks for the rest, one line, cut.
QString printable(const QByteArray &bytes)
{
    QString text;
    const QByteArray head = bytes.left(MaxReplyText);
    text.reserve(head.size());
    for (const char byte : head)
        text.append(byte >= 0x20 && byte < 0x7f ? QLatin1Char(byte) : QLatin1Char(' '));
    return text.simplified();
}

}  // namespace

QByteArray logOn(const QString &callsign, const QString &password, const QString &description,
                 Presence presence, const QTime &localTime)
{
    // The versions are the ones the directory knows from other Linux stations.
    const QByteArray version = presence == Presence::Busy ? "BUSY3.40" : "ONLINE3.38";
    const QByteArray since = localTime.toString(QStringLiteral("HH:mm")).toLatin1();
    return command(callsign, password, version + "(" + since + ")", description);
}

QByteArray logOff(const QString &callsign, const QString &password, const QString &description)
{
    return command(callsign, password, "OFF-V3.40", description);
}

Reply readReply(const QByteArray &received, bool ended)
{
    const QByteArray head = received.left(MaxReply);
    if (head.startsWith("OK"))
        return {Reply::Kind::Accepted, QStringLiteral("OK")};
    if (head.isEmpty())
        return {ended ? Reply::Kind::NoAnswer : Reply::Kind::Pending, {}};
    // Not "OK" (or not yet): read on to the end of what the directory says, its first
    // line or the cap, so that the log shows its words.
    if (!ended && head.size() < MaxReply && !head.contains('\n'))
        return {};
    return {Reply::Kind::Refused, printable(head)};
}

}  // namespace DirectoryCommand
