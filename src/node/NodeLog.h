// The node's log on standard error: one line per event, each with a UTC time stamp
// (ISO 8601, milliseconds), or, when standard error is the systemd journal's stream,
// with the syslog priority prefix ("<6>") the journal reads instead, since it keeps its
// own time stamps.
#pragma once

#include <QString>

class NodeLog
{
public:
    // The syslog priorities the node uses.
    enum class Priority { Error = 3, Warning = 4, Info = 6 };

    static void write(const QString &line, Priority priority = Priority::Info);
    // The line as written, without its end of line: what write() puts out.
    static QByteArray format(const QString &line, Priority priority);
    // True when standard error is the stream the journal named in JOURNAL_STREAM
    // ("device:inode"); a redirected standard error is not, though it inherits the variable.
    static bool toJournal();
};
