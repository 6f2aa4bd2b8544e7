#include "node/window/StationFilter.h"

StationFilter::StationFilter(StationTableModel &stations, QObject *parent)
    : QSortFilterProxyModel(parent), m_stations(stations)
{
    setSourceModel(&stations);
}

// A changed filter re-maps the whole view in one layout change: removing thousands of
// scattered rows one range at a time would cost the view far more.
void StationFilter::setSearch(const QString &text)
{
    const QString search = text.trimmed().toLower();
    if (search == m_search)
        return;
    m_search = search;
    invalidate();
}

void StationFilter::setCategory(StationTableModel::Category category)
{
    if (category == m_category)
        return;
    m_category = category;
    invalidate();
}

bool StationFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (m_category != StationTableModel::Category::All && m_stations.category(sourceRow) != m_category)
        return false;
    return m_search.isEmpty() || m_stations.searchText(sourceRow).contains(m_search);
}

bool StationFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const int a = left.row();
    const int b = right.row();
    switch (left.column()) {
    case StationTableModel::LocationColumn:
        return m_stations.locationKey(a) < m_stations.locationKey(b);
    case StationTableModel::NodeColumn:
        return m_stations.station(a).id < m_stations.station(b).id;
    case StationTableModel::StatusColumn:
        return m_stations.station(a).status < m_stations.station(b).status;
    default:
        return m_stations.callKey(a) < m_stations.callKey(b);
    }
}
