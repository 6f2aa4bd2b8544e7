// The record of the station's links, one line per link as it ends:
//   2025-01-02T10:00:00Z 2025-01-02T10:05:12Z in W1AW
// start and end in UTC, the direction (in: the far station called; out: this station
// called) and the far station's callsign. Kept in $XDG_STATE_HOME/echolink-node/links.log
// (default ~/.local/state), appended to and never read: created for the user alone, never
// through a symbolic link, and the callsign (it comes from the network) bounded and
// stripped of blanks and control characters.
#pragma once

#include <QDateTime>
#include <QString>

class LinksLog
{
public:
    enum class Direction { In, Out };

    explicit LinksLog(QString path = defaultPath());

    static QString defaultPath();
    QString path() const { return m_path; }

    // Appends the link's line. Empty on success, else why it could not be written.
    QString record(const QString &callsign, Direction direction, const QDateTime &start,
                   const QDateTime &end) const;
    // The line for a link, without its end of line.
    static QByteArray line(const QString &callsign, Direction direction, const QDateTime &start,
                           const QDateTime &end);

    // Longest callsign written; EchoLink's are far shorter.
    static constexpr int MaxCallsign = 32;

private:
    QString m_path;
};
