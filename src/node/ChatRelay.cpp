#include "node/ChatRelay.h"

ChatRelay::Line ChatRelay::attributed(const QString &sender, const QString &line)
{
    const qsizetype mark = line.indexOf(QLatin1Char('>'));
    if (mark > 0 && mark <= MaxCallsign) {
        const QString from = line.left(mark);
        if (!from.contains(QLatin1Char(' ')))
            return {from, line.mid(mark + 1).trimmed()};
    }
    return {sender, line.trimmed()};
}

QString ChatRelay::key(const QString &from, const QString &text)
{
    return from.toUpper() + QLatin1Char('>') + text.simplified();
}

bool ChatRelay::takeOwn(const QString &callsign, const QString &text)
{
    if (!m_rate.take())
        return false;
    m_seen.firstSight(key(callsign, text));
    return true;
}

ChatRelay::Verdict ChatRelay::takeReceived(const Line &line)
{
    if (!m_seen.firstSight(key(line.from, line.text)))
        return Verdict::Seen;
    return m_rate.take() ? Verdict::Relay : Verdict::TooFast;
}
