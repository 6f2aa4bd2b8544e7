// A failed automation call: an error answer, a missing service or object, or no answer
// within the call time-out. Every procedure that talks to EchoLink decides for itself
// how to react (report and end, stop silently, or skip a step).
#pragma once

#include <QString>
#include <stdexcept>

class AutomationError : public std::runtime_error {
public:
    explicit AutomationError(const QString &what) : std::runtime_error(what.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
