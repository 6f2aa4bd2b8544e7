// A failure that a procedure may catch and handle in its own way: a failed automation call,
// a settings file that could not be written. The message says what failed and names the
// call or file involved.
#pragma once

#include <QString>
#include <stdexcept>

class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &what) : std::runtime_error(what.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
