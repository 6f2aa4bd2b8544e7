// The stations a call can be completed to, for the Load Button dialog: one row per
// station, sorted by call without regard to case (so the completer finds a prefix by
// binary search), each showing the call and the location and completing to the call.
#pragma once

#include "automation/StationListEntry.h"

#include <QAbstractListModel>
#include <vector>

class StationCompletionModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit StationCompletionModel(const StationListEntries &stations, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // Display and accessible text: "call — location"; edit role: the call alone.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Row
    {
        QString call;
        QString shown;
    };
    std::vector<Row> m_rows;
};
