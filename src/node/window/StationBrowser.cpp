#include "node/window/StationBrowser.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

StationBrowser::StationBrowser(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *searchLine = new QHBoxLayout;
    auto *searchLabel = new QLabel(tr("&Find:"));
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("stationSearch"));
    m_search->setAccessibleName(tr("Find a station"));
    m_search->setAccessibleDescription(tr("Call, location or node number; * for conferences"));
    m_search->setPlaceholderText(tr("Call, location or node number"));
    m_search->installEventFilter(this);
    searchLabel->setBuddy(m_search);
    searchLine->addWidget(searchLabel);
    searchLine->addWidget(m_search, 1);
    layout->addLayout(searchLine);

    m_categories = new QTabBar;
    m_categories->setObjectName(QStringLiteral("stationCategories"));
    m_categories->setAccessibleName(tr("Station categories"));
    m_categories->setDrawBase(false);
    for (const QString &name : {tr("All"), tr("Stations"), tr("Links"), tr("Repeaters"), tr("Conferences")})
        m_categories->addTab(name);
    layout->addWidget(m_categories);

    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("stationTable"));
    m_table->setAccessibleName(tr("Stations"));
    m_table->setModel(&m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setWordWrap(false);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(StationTableModel::CallColumn, Qt::AscendingOrder);
    // Thousands of rows: every row as tall as the font, measured once, never per row.
    QHeaderView *rows = m_table->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    rows->hide();
    QHeaderView *columns = m_table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionResizeMode(StationTableModel::LocationColumn, QHeaderView::Stretch);
    // Widths from the font, never from the rows' contents.
    const auto width = [this](const char *sample) {
        return m_table->fontMetrics().horizontalAdvance(QLatin1String(sample)) + 16;
    };
    columns->resizeSection(StationTableModel::NodeColumn, width("0000000"));
    columns->resizeSection(StationTableModel::StatusColumn, width("Status"));
    columns->resizeSection(StationTableModel::CallColumn, width("*WWWWWWWW*"));
    layout->addWidget(m_table, 1);

    auto *bottom = new QHBoxLayout;
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("stationCount"));
    m_refresh = new QPushButton(tr("&Refresh"));
    m_refresh->setAccessibleName(tr("Refresh the station list"));
    bottom->addWidget(m_count, 1);
    bottom->addWidget(m_refresh);
    layout->addLayout(bottom);

    setTabOrder(m_search, m_categories);
    setTabOrder(m_categories, m_table);
    setTabOrder(m_table, m_refresh);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter.setSearch(text);
        showCount();
    });
    connect(m_search, &QLineEdit::returnPressed, this, &StationBrowser::linkFromSearch);
    connect(m_categories, &QTabBar::currentChanged, this, [this](int index) {
        m_filter.setCategory(StationTableModel::Category(index));
        showCount();
    });
    connect(m_table, &QTableView::activated, this, &StationBrowser::linkRow);
    connect(m_refresh, &QPushButton::clicked, this, &StationBrowser::refreshWanted);
    showCount();
}

void StationBrowser::setStations(const QList<StationEntry> &stations)
{
    // The chosen station stays chosen through a fresh list.
    const QModelIndex current = m_table->currentIndex();
    const int id = current.isValid() ? m_model.station(m_filter.mapToSource(current).row()).id : -1;
    m_model.setStations(stations);
    if (id >= 0 && !m_table->currentIndex().isValid()) {
        for (int row = 0; row < m_filter.rowCount(); ++row)
            if (m_model.station(m_filter.mapToSource(m_filter.index(row, 0)).row()).id == id) {
                m_table->selectRow(row);
                break;
            }
    }
    showCount();
}

QWidget *StationBrowser::searchBox() const
{
    return m_search;
}

QWidget *StationBrowser::lastControl() const
{
    return m_refresh;
}

void StationBrowser::linkRow(const QModelIndex &index)
{
    if (index.isValid())
        Q_EMIT linkWanted(m_model.station(m_filter.mapToSource(index).row()).callsign);
}

void StationBrowser::linkFromSearch()
{
    if (m_table->selectionModel()->hasSelection())
        linkRow(m_table->currentIndex());
    else if (m_filter.rowCount() == 1)
        linkRow(m_filter.index(0, 0));
}

void StationBrowser::showCount()
{
    m_count->setText(tr("%1 of %2 stations").arg(m_filter.rowCount()).arg(m_model.rowCount()));
}

bool StationBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down && m_filter.rowCount() > 0) {
        m_table->setFocus(Qt::TabFocusReason);
        if (!m_table->selectionModel()->hasSelection())
            m_table->selectRow(0);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
