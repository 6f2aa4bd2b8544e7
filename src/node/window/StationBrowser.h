// The station browser: the directory's list in a table (call, location, node number,
// status), narrowed as the user types by one search box over call, location and node
// number, and by category (stations, links -L, repeaters -R, conferences *NAME*);
// sortable by any column. Enter or a double click on a row, or Enter in the search box
// with a row chosen or only one left, asks for a link to that station. Down in the search
// box goes to the table.
#pragma once

#include "node/window/StationFilter.h"
#include "node/window/StationTableModel.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTableView;

class StationBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit StationBrowser(QWidget *parent = nullptr);

    void setStations(const QList<StationEntry> &stations);
    QWidget *searchBox() const;
    QWidget *lastControl() const;

Q_SIGNALS:
    void linkWanted(const QString &callsign);
    void refreshWanted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void linkRow(const QModelIndex &index);
    void linkFromSearch();
    void showCount();

    StationTableModel m_model;
    StationFilter m_filter{m_model};
    QLineEdit *m_search = nullptr;
    QTabBar *m_categories = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_count = nullptr;
    QPushButton *m_refresh = nullptr;
};
