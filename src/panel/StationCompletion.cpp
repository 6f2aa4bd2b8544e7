#include "panel/StationCompletion.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/EchoLinkObjects.h"
#include "automation/EchoLinkStation.h"
#include "panel/StationCompletionModel.h"
#include "panel/Twips.h"

#include <QCompleter>
#include <QDBusPendingCallWatcher>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>

StationCompletion::StationCompletion(QLineEdit *box, const EchoLinkStation &station, QObject *parent)
    : QObject(parent), m_box(box)
{
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer);
    connect(&m_timeout, &QTimer::timeout, this, &StationCompletion::dropWatcher);
    m_watcher =
        std::make_unique<QDBusPendingCallWatcher>(station.Stations(busTimeoutFor(Automation::CallTimeoutMs)));
    connect(m_watcher.get(), &QDBusPendingCallWatcher::finished, this, &StationCompletion::take);
    m_timeout.start(Automation::CallTimeoutMs);
}

StationCompletion::~StationCompletion()
{
    dropWatcher();
}

void StationCompletion::take()
{
    m_timeout.stop();
    StationListEntries stations;
    try {
        stations = EchoLinkStation::stationsIn(*m_watcher);
    } catch (const AutomationError &) {}
    dropWatcher();
    if (stations.isEmpty())
        return;

    m_completer = new QCompleter(new StationCompletionModel(stations, this), this);
    m_completer->setObjectName(QStringLiteral("stationCompleter"));
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setModelSorting(QCompleter::CaseInsensitivelySortedModel);
    m_completer->setCompletionRole(Qt::EditRole);
    m_completer->setFilterMode(Qt::MatchStartsWith);
    m_completer->setMaxVisibleItems(10);

    // Rows of one height: a list of thousands lays out at once.
    auto *popup = new QListView;
    popup->setObjectName(QStringLiteral("stationPopup"));
    popup->setUniformItemSizes(true);
    popup->setFont(m_box->font());
    popup->setAccessibleName(tr("Matching stations"));
    m_completer->setPopup(popup);  // the completer owns it
    // Wider than the box, so a location shows beside its call.
    popup->setMinimumWidth(Twips::toPixels(4500));
    // Installed after the completer's own filter, so this one sees the popup's keys first.
    popup->installEventFilter(this);

    m_box->setCompleter(m_completer);
    m_box->setAccessibleDescription(
        tr("Matching stations from EchoLink's list appear as you type; Down arrow to pick one"));
    Q_EMIT ready();
}

bool StationCompletion::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_completer || watched != m_completer->popup() || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    QAbstractItemView *popup = m_completer->popup();
    const QModelIndex picked = popup->currentIndex();
    popup->hide();
    if (picked.isValid())
        m_box->setText(picked.data(Qt::EditRole).toString());
    else
        Q_EMIT enterWithoutChoice();
    return true;
}

// Lets go of the question in flight; an answer already queued then reaches nothing.
void StationCompletion::dropWatcher()
{
    if (!m_watcher)
        return;
    m_watcher->disconnect(this);
    m_watcher.release()->deleteLater();
}
