// Fuzz target for the settings text forms. The first byte picks the user's locale, the
// rest is the text. Reading any text either gives a value or throws ConversionError; a
// number that reads is a finite single-precision value, and the text written for it
// reads back as the same value in the same locale, as a saved position must.
#include "settings/TextForms.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char *const Locales[] = {"C", "en_US", "de_DE", "fr_FR", "de_CH", "hi_IN", "ar_EG", "fa_IR"};

[[noreturn]] void fail(const char *what, const QString &text, const QString &detail)
{
    std::fprintf(stderr, "finding: %s: locale %s, text \"%s\": %s\n", what, qPrintable(QLocale().name()),
                 qPrintable(text), qPrintable(detail));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    QLocale::setDefault(QLocale(QString::fromLatin1(Locales[data[0] % std::size(Locales)])));
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    try {
        const float value = TextForms::toSingle(text);
        if (!std::isfinite(value))
            fail("not finite", text, QString::number(double(value)));
        const QString written = TextForms::fromSingle(value);
        float again = 0;
        try {
            again = TextForms::toSingle(written);
        } catch (const ConversionError &error) {
            fail("written text does not read", text,
                 written + QStringLiteral(": ") + QString::fromStdString(error.what()));
        }
        if (again != value)
            fail("written text reads as another value", text,
                 QStringLiteral("%1 written as \"%2\" reads as %3")
                     .arg(double(value))
                     .arg(written)
                     .arg(double(again)));
    } catch (const ConversionError &) {}

    try {
        TextForms::toBoolean(text);
    } catch (const ConversionError &) {}
    for (const bool value : {false, true}) {
        if (TextForms::toBoolean(TextForms::fromBoolean(value)) != value)
            fail("Boolean round trip", TextForms::fromBoolean(value), QString());
    }
    return 0;
}
