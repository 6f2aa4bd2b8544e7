#include "app/ErrorReport.h"

#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

namespace ErrorReport {

namespace {

// Ends the process at once: no handlers, no destructors, nothing saved.
void endAtOnce(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}

Ending currentEnding = endAtOnce;

}  // namespace

void report(const QString &text, const QString &line)
{
    std::fprintf(stderr, "dialboard: %s\n", qUtf8Printable(line));
    std::fflush(stderr);
    QMessageBox::critical(nullptr, QStringLiteral("Dialboard"), text);
}

void end()
{
    currentEnding(EXIT_FAILURE);
}

void fail(const QString &text, const QString &line)
{
    report(text, line);
    end();
}

void setEnding(Ending ending)
{
    currentEnding = ending ? ending : endAtOnce;
}

}  // namespace ErrorReport
