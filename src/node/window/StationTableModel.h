// The directory's station list as a table for the station browser: call, location, node
// number and status, one station a row, each row also kept as the lower-case text the
// search box matches and as its category (a station, a link, a repeater or a conference).
#pragma once

#include "node/StationList.h"

#include <QAbstractTableModel>
#include <QList>

class StationTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { CallColumn, LocationColumn, NodeColumn, StatusColumn, ColumnCount };
    enum class Category { All, Stations, Links, Repeaters, Conferences };

    explicit StationTableModel(QObject *parent = nullptr);

    // Replaces the list; a list that holds the same stations changes nothing (the
    // directory's list is fetched again every few minutes).
    void setStations(const QList<StationEntry> &stations);

    // -L a link, -R a repeater, *NAME* a conference, anything else a station.
    static Category categoryOf(const QString &callsign);

    // For the filter, by source row: no variants, no copies.
    const QString &searchText(int row) const { return m_rows[row].search; }
    // Upper-case call and location, sorted by plain comparison (thousands of rows).
    const QString &callKey(int row) const { return m_rows[row].callKey; }
    const QString &locationKey(int row) const { return m_rows[row].locationKey; }
    Category category(int row) const { return m_rows[row].category; }
    const StationEntry &station(int row) const { return m_rows[row].entry; }
    // What a screen reader reads for a row: call, location, status.
    QString rowName(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row
    {
        StationEntry entry;
        QString search;
        QString callKey;
        QString locationKey;
        Category category;
    };

    QList<Row> m_rows;
};
