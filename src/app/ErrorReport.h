// The report of a failure: one line on stderr, and a critical message box captioned with
// the program's name.
#pragma once

#include <QString>

namespace ErrorReport {

void report(const QString &text, const QString &line);

}  // namespace ErrorReport
