#include "prefs/TextForms.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <limits>

namespace TextForms {

namespace {

// A finite number in the user's locale or, failing that, in the C locale.
double toNumber(const QString &text)
{
    bool ok = false;
    double value = QLocale().toDouble(text, &ok);
    if (!ok)
        value = QLocale::c().toDouble(text, &ok);
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
