// The station browser's view of the list: the rows of one category whose call, location
// or node number holds the search text (in any letter case), sorted by any column.
#pragma once

#include "node/window/StationTableModel.h"

#include <QSortFilterProxyModel>

class StationFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit StationFilter(StationTableModel &stations, QObject *parent = nullptr);

    void setSearch(const QString &text);
    void setCategory(StationTableModel::Category category);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    StationTableModel &m_stations;
    QString m_search;  // lower case
    StationTableModel::Category m_category = StationTableModel::Category::All;
};
