#include "FarText.h"

#include <string>

QString FarText::clean(const QByteArray &text)
{
    QString result;
    result.reserve(qMin<qsizetype>(text.size(), MaxLength));
    for (const char byte : text) {
        if (result.size() >= MaxLength)
            break;
        const QChar c = QLatin1Char(byte);
        if (c.category() == QChar::Other_Control)
            continue;
        result.append(c);
    }
    return result;
}

QString FarText::clean(const std::string &text)
{
    return clean(QByteArray::fromStdString(text.substr(0, 4 * MaxLength)));
}
