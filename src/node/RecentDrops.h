// Stations whose link ended lately, by address. Some stations refuse a new link from an
// address for a few seconds after a link with it ended (svxlink answers every call with a
// BYE for 5 s), so a call refused right away, to a station dropped less than HoldMs
// before, is worth one more try once HoldMs have passed since the drop.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QtGlobal>

class RecentDrops
{
public:
    static constexpr int HoldMs = 6000;          // how long after a drop a refusal may be that
    static constexpr int QuickRefusalMs = 1000;  // a refusal this soon after the call
    static constexpr int Capacity = 256;

    // A link with the station at this address ended.
    void dropped(quint32 address);
    // A call made callAgeMs ago was refused now: how long to wait before calling once
    // more, or -1 when the refusal stands.
    int retryDelayMs(quint32 address, qint64 callAgeMs) const;

private:
    void forgetOld();

    QHash<quint32, QElapsedTimer> m_drops;
};
