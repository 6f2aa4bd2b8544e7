// Chat in a conference: a line from one linked station goes on to the others under the
// callsign of the station that first wrote it ("CALL>text", as EchoLink stations send
// chat); a line seen within the last MemoryMs goes on no more, since conferences linked in
// a ring would pass it round for ever; and every line that goes out, the operator's own
// or one passed on, counts against one outgoing chat rate.
#pragma once

#include "node/RateLimit.h"
#include "node/RecentLines.h"

#include <QString>

class ChatRelay
{
public:
    static constexpr int MemoryMs = 30000;
    static constexpr int LinesPerSecond = 5;
    static constexpr int Burst = 10;
    // The longest callsign taken as the writer's in "CALL>text".
    static constexpr int MaxCallsign = 20;

    struct Line
    {
        QString from;  // the callsign of the station that wrote it
        QString text;
    };
    // A received line as it goes on: "CALL>text" keeps its writer (a conference passing on
    // another station's line); any other line is the sending station's own.
    static Line attributed(const QString &sender, const QString &line);

    // Whether a line the operator writes may go out now; a line that does counts as seen.
    bool takeOwn(const QString &callsign, const QString &text);
    enum class Verdict { Relay, Seen, TooFast };
    // Whether a received line goes on to the other links; it counts as seen either way.
    Verdict takeReceived(const Line &line);

private:
    static QString key(const QString &from, const QString &text);

    RecentLines m_seen{MemoryMs};
    RateLimit m_rate{LinesPerSecond, Burst};
};
