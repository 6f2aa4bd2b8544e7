#include "settings/TextForms.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace TextForms {

namespace {

// A finite number. The C locale comes first, strictly (no group separators), because
// that is how numbers are written: "0.125" must read back as 0.125 for a user whose own
// locale takes "." as a group separator. Anything else is read in the user's locale.
double toNumber(const QString &text)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double value = c.toDouble(text, &ok);
    if (!ok)
        value = QLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        throw ConversionError("not a number: \"" + text.toStdString() + '"');
    return value;
}

}  // namespace

QString fromSingle(float value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return QString::fromLatin1(text, result.ptr - text);
}

float toSingle(const QString &text)
{
    const double value = toNumber(text);
    if (std::abs(value) > std::numeric_limits<float>::max())
        throw ConversionError("number out of range: \"" + text.toStdString() + '"');
    return static_cast<float>(value);
}

QString fromBoolean(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool toBoolean(const QString &text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    return toNumber(text) != 0.0;
}

}  // namespace TextForms
