#include "node/InfoList.h"

#include <utility>

InfoList::InfoList(QString ownInfo, bool listStations, QObject *parent)
    : QObject(parent), m_own(std::move(ownInfo)), m_listStations(listStations), m_text(compose({}))
{
    m_spacing.setSingleShot(true);
    m_spacing.setInterval(SpacingMs);
    connect(&m_spacing, &QTimer::timeout, this, [this] {
        if (!std::exchange(m_pending, false))
            return;
        m_spacing.start();
        Q_EMIT changed(m_text);
    });
}

QByteArray InfoList::compose(const QStringList &callsigns) const
{
    QStringList lines{m_own};
    if (m_listStations)
        lines << callsigns;
    return lines.join(QLatin1Char('\n')).trimmed().toLatin1();
}

bool InfoList::setLinks(const QStringList &callsigns)
{
    if (!m_listStations)
        return false;
    QByteArray text = compose(callsigns);
    if (text == m_text)
        return false;
    m_text = std::move(text);
    if (m_spacing.isActive()) {
        m_pending = true;
        return false;
    }
    m_spacing.start();
    Q_EMIT changed(m_text);
    return true;
}
