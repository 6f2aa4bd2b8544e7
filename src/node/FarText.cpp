#include "node/FarText.h"

#include <string>

QString FarText::clean(const QByteArray &text)
{
    QString result;
    result.reserve(qMin<qsizetype>(text.size(), MaxLength));
    for (const char byte : text) {
        if (result.size() >= MaxLength)
            break;
        const QChar c = QLatin1Char(byte);
        if (c.category() != QChar::Other_Control)
            result.append(c);
        else if (c.isSpace())  // line breaks and tabs part words
            result.append(QLatin1Char(' '));
    }
    return result;
}

QString FarText::clean(const std::string &text)
{
    return clean(QByteArray::fromStdString(text.substr(0, 4 * MaxLength)));
}
