// A save of the settings that did not reach the disk. The message names the settings
// file and the reason; the caller decides whether to report and end, or to report and
// keep running (the values stay in memory and the next save tries again).
#pragma once

#include <QString>
#include <stdexcept>

class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const QString &what) : std::runtime_error(what.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
