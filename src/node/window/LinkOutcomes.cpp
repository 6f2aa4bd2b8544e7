#include "node/window/LinkOutcomes.h"

#include "automation/AutomationContract.h"

#include <QLabel>
#include <QListWidget>
#include <QTime>
#include <QVBoxLayout>

LinkOutcomes::LinkOutcomes(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_status = new QLabel(tr("No link asked for yet"));
    m_status->setObjectName(QStringLiteral("linkStatus"));
    m_status->setAccessibleName(tr("Link status: %1").arg(m_status->text()));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);  // far stations' words are never markup
    layout->addWidget(m_status);
    auto *label = new QLabel(tr("Link &history:"));
    m_history = new QListWidget;
    m_history->setObjectName(QStringLiteral("linkHistory"));
    m_history->setAccessibleName(tr("Link history"));
    m_history->setWordWrap(true);
    m_history->setMaximumHeight(m_history->fontMetrics().lineSpacing() * 6);
    label->setBuddy(m_history);
    layout->addWidget(label);
    layout->addWidget(m_history);
}

QString LinkOutcomes::stateText(const QString &call, const QString &state)
{
    if (state == QLatin1String(Automation::LinkingState))
        return tr("linking with %1").arg(call);
    if (state == QLatin1String(Automation::LinkedState))
        return tr("linked with %1").arg(call);
    return tr("unlinked from %1").arg(call);
}

QString LinkOutcomes::failureText(const QString &call, const QString &reason, const QString &text,
                                  int noAnswerSeconds)
{
    if (reason == QLatin1String(Automation::NotFoundReason))
        return tr("%1: no such station").arg(call);
    if (reason == QLatin1String(Automation::NoAnswerReason))
        return tr("%1: no answer after %2 s").arg(call).arg(noAnswerSeconds);
    if (reason == QLatin1String(Automation::RefusedReason))
        return text.isEmpty() ? tr("%1: refused").arg(call) : tr("%1: refused: %2").arg(call, text);
    return tr("%1: dropped by the far end").arg(call);
}

void LinkOutcomes::add(const QString &line)
{
    m_status->setText(line);
    m_status->setAccessibleName(tr("Link status: %1").arg(line));
    m_history->addItem(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ")
                       + line);
    while (m_history->count() > HistoryLines)
        delete m_history->takeItem(0);
    m_history->scrollToBottom();
}

QString LinkOutcomes::status() const
{
    return m_status->text();
}

QWidget *LinkOutcomes::history() const
{
    return m_history;
}
