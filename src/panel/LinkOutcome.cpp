#include "panel/LinkOutcome.h"

#include "automation/AutomationContract.h"

#include <QCoreApplication>

namespace LinkOutcome {

QString failureText(const QString &reason, const QString &text)
{
    using namespace Automation;
    auto tr = [](const char *source) { return QCoreApplication::translate("LinkOutcome", source); };
    if (reason == QLatin1String(NotFoundReason))
        return tr("no such station");
    if (reason == QLatin1String(NoAnswerReason))
        return tr("no answer");
    if (reason == QLatin1String(DroppedReason))
        return tr("dropped");
    if (reason != QLatin1String(RefusedReason))
        return reason.simplified();
    // Info and chat texts come in several lines: one line is shown.
    QString words = text.simplified();
    if (words.isEmpty())
        return tr("refused");
    if (words.size() > MaxShownText)
        words = words.left(MaxShownText - 1) + QChar(0x2026);
    return tr("refused: %1").arg(words);
}

}  // namespace LinkOutcome
