// The text forms in which settings are stored: numbers as decimal text, Booleans as
// "True" / "False". The readers throw ConversionError for text they cannot read, so a
// caller can skip whatever depended on the value.
#pragma once

#include <QString>
#include <stdexcept>

class ConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

namespace TextForms {

// The shortest decimal text that reads back as the same single-precision value: a
// leading minus sign when negative, no exponent, no thousands separators ("2400").
QString fromSingle(float value);

// Reads a number in the C locale in which fromSingle writes, strictly (no group
// separators), and failing that in the user's locale (decimal comma, group separators,
// exponent and surrounding blanks allowed).
// Throws for the empty text, anything that is not a number, and values that are not
// finite single-precision numbers.
float toSingle(const QString &text);

// "True" or "False".
QString fromBoolean(bool value);

// "True" and "False" in any letter case, or a number (zero is false, anything else is
// true). Throws for anything else, the empty text included.
bool toBoolean(const QString &text);

}  // namespace TextForms
