// The report of a failure that ends the panel: a critical message box captioned with the
// application title, one line on stderr, and the end of the process with a non-zero
// status. Nothing else runs after it: no unload, no save.
#pragma once

#include <QString>

namespace ErrorReport {

// Writes `line` to stderr and shows `text` in the critical message box; the panel goes
// on. For failures it survives, such as a save after a call edit.
void report(const QString &text, const QString &line);

// Reports like report(), and once the box is
// dismissed ends the process with a non-zero status. Returns only when a test has put
// another ending in place; callers then stop what they were doing.
void fail(const QString &text, const QString &line);

// Ends the process after a report, with a non-zero status.
void end();

// How the process ends after a report: by default at once, with the given status.
// Tests replace it to stay alive and look at the status.
using Ending = void (*)(int status);
void setEnding(Ending ending);

}  // namespace ErrorReport
