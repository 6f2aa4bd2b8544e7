#include "panel/StationCompletionModel.h"

#include <algorithm>

StationCompletionModel::StationCompletionModel(const StationListEntries &stations, QObject *parent)
    : QAbstractListModel(parent)
{
    m_rows.reserve(stations.size());
    for (const StationListEntry &station : stations) {
        if (station.call.isEmpty())
            continue;
        const QString location = station.location.simplified();
        m_rows.push_back({station.call, location.isEmpty()
                                            ? station.call
                                            : station.call + QStringLiteral(" \u2014 ") + location});
    }
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row &a, const Row &b) {
        return QString::compare(a.call, b.call, Qt::CaseInsensitive) < 0;
    });
}

int StationCompletionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant StationCompletionModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Row &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return row.shown;
    case Qt::EditRole:
        return row.call;
    default:
        return {};
    }
}
