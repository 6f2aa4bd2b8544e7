// The known name nearest to a mistyped one, for messages such as "did you mean Callsign?".
// Names are compared without regard to letter case, by the number of letters to insert,
// delete or replace to turn one into the other.
#pragma once

#include <QString>
#include <QStringList>

namespace NearestName {

// Edits between a and b, letter case ignored. Names longer than MaxLength are compared by
// their first MaxLength letters, so the work stays small whatever a line holds.
constexpr qsizetype MaxLength = 64;
int distance(QStringView a, QStringView b);

// The index in candidates of the one nearest name (the first of equally near ones); -1 when
// there are none.
qsizetype nearest(QStringView name, const QStringList &candidates);

}  // namespace NearestName
