#include "node/NearestName.h"

#include <QVarLengthArray>

#include <algorithm>

namespace NearestName {

int distance(QStringView a, QStringView b)
{
    a = a.left(MaxLength);
    b = b.left(MaxLength);
    // One row of the edit table at a time: row[j] holds the edits between the first i
    // letters of a and the first j letters of b.
    QVarLengthArray<int, MaxLength + 1> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const bool same = a[i - 1].toCaseFolded() == b[j - 1].toCaseFolded();
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

qsizetype nearest(QStringView name, const QStringList &candidates)
{
    qsizetype best = -1;
    int bestDistance = 0;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const int d = distance(name, candidates[i]);
        if (best < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace NearestName
