#include "node/window/StationTableModel.h"

#include <algorithm>

namespace {

bool sameStation(const StationEntry &a, const StationEntry &b)
{
    return a.id == b.id && a.callsign == b.callsign && a.description == b.description && a.status == b.status;
}

QString statusText(const QString &status)
{
    return status == QLatin1String("BUSY") ? StationTableModel::tr("busy") : StationTableModel::tr("on");
}

}  // namespace

StationTableModel::StationTableModel(QObject *parent) : QAbstractTableModel(parent)
{}

StationTableModel::Category StationTableModel::categoryOf(const QString &callsign)
{
    if (callsign.size() > 1 && callsign.startsWith(QLatin1Char('*')) && callsign.endsWith(QLatin1Char('*')))
        return Category::Conferences;
    if (callsign.endsWith(QLatin1String("-L"), Qt::CaseInsensitive))
        return Category::Links;
    if (callsign.endsWith(QLatin1String("-R"), Qt::CaseInsensitive))
        return Category::Repeaters;
    return Category::Stations;
}

void StationTableModel::setStations(const QList<StationEntry> &stations)
{
    if (stations.size() == m_rows.size()
        && std::equal(
            stations.begin(), stations.end(), m_rows.begin(),
            [](const StationEntry &entry, const Row &row) { return sameStation(entry, row.entry); }))
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(stations.size());
    for (const StationEntry &entry : stations)
        m_rows.append({entry,
                       (entry.callsign + QLatin1Char('\n') + entry.description + QLatin1Char('\n')
                        + QString::number(entry.id))
                           .toLower(),
                       entry.callsign.toUpper(), entry.description.toUpper(), categoryOf(entry.callsign)});
    endResetModel();
}

QString StationTableModel::rowName(int row) const
{
    const StationEntry &entry = m_rows[row].entry;
    return tr("%1, %2, %3").arg(entry.callsign, entry.description, statusText(entry.status));
}

int StationTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int StationTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant StationTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const StationEntry &entry = m_rows[index.row()].entry;
    if (role == Qt::AccessibleDescriptionRole)
        return rowName(index.row());
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case CallColumn:
        return entry.callsign;
    case LocationColumn:
        return entry.description;
    case NodeColumn:
        return entry.id;
    case StatusColumn:
        return statusText(entry.status);
    default:
        return {};
    }
}

QVariant StationTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // A row's header is what a screen reader names the row by.
        if ((role == Qt::AccessibleTextRole || role == Qt::DisplayRole) && section >= 0
            && section < m_rows.size())
            return rowName(section);
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case CallColumn:
        return tr("Call");
    case LocationColumn:
        return tr("Location");
    case NodeColumn:
        return tr("Node");
    case StatusColumn:
        return tr("Status");
    default:
        return {};
    }
}
