// The directory's list of stations on line, as the node keeps it: read from the
// directory's wire text with every length bounded, and searched the way a user names a
// station (callsign, conference name or node number, in any letter case).
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

struct StationEntry
{
    QString callsign;  // as listed: W1AW, K1ABC-L, *ECHOTEST*
    QString description;
    QString status;  // as listed: ON or BUSY
    int id = 0;      // the node number
    QHostAddress address;
};

class StationList
{
public:
    enum class Parse { Complete, NeedMore, Broken };

    // Reads the directory's answer to a list request: "@@@\n", a count line, then four
    // lines per station (callsign, description with status, node number, address), then
    // "+++". NeedMore while the text may still be completed; Broken for anything else.
    static Parse parse(const QByteArray &text, StationList &list);

    // The station a user means by call: its callsign, its conference name or, for all
    // digits, its node number. Null when it is not listed.
    const StationEntry *find(const QString &call) const;
    const StationEntry *findCallsign(const QString &callsign) const;

    const QList<StationEntry> &entries() const { return m_entries; }
    int size() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }

    // Longest line the node accepts; the directory's fields are far shorter.
    static constexpr int MaxLine = 256;
    // Most stations the node keeps; the network lists far fewer.
    static constexpr int MaxEntries = 200000;

private:
    QList<StationEntry> m_entries;
};
