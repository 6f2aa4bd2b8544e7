// What the operator reads about a failed try to link, from the reason EchoLink gives
// (and the far station's own words, for a refusal).
#pragma once

#include <QString>

namespace LinkOutcome {

// Longest part of the far station's words shown; the rest is cut with an ellipsis.
inline constexpr int MaxShownText = 120;

// "no such station", "no answer", "refused: <text>" (or "refused"), "dropped"; a reason
// this panel does not know is shown as given.
QString failureText(const QString &reason, const QString &text);

}  // namespace LinkOutcome
