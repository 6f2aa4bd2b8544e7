#include "node/ConfigText.h"

#include "node/NearestName.h"

#include <QStringDecoder>

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// A control character other than a tab: never part of a callsign, a password, a name or a
// device, and a sign that the file is not the text it should be.
bool hasControlCharacter(QStringView text)
{
    for (const QChar c : text) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            return true;
    }
    return false;
}

// A name from the file as a message shows it: cut, for a line that is long by mistake.
QString shown(QStringView name)
{
    return name.size() <= NearestName::MaxLength
               ? name.toString()
               : name.left(NearestName::MaxLength).toString() + QStringLiteral("...");
}

}  // namespace

ConfigText::ConfigText(QStringList known) : m_known(std::move(known))
{
    for (const QString &key : std::as_const(m_known)) {
        const QString section = key.section(QLatin1Char('/'), 0, 0);
        if (!m_sections.contains(section))
            m_sections << section;
    }
}

bool ConfigText::parse(const QByteArray &text)
{
    m_entries.clear();
    m_errorLine = 0;
    m_error.clear();
    if (text.size() > MaxSize)
        return refuse(0, QStringLiteral("larger than %1 KiB").arg(MaxSize / 1024));
    QByteArrayView rest(text);
    if (rest.startsWith("\xef\xbb\xbf"))
        rest = rest.sliced(3);  // the byte order mark some editors write first
    QString section;
    for (int number = 1; !rest.isEmpty(); ++number) {
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView bytes = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = decoder(bytes);
        if (decoder.hasError())
            return refuse(number, QStringLiteral("not UTF-8 text"));
        if (!takeLine(trimBlanks(line), number, section))
            return false;
    }
    return true;
}

bool ConfigText::takeLine(QStringView line, int number, QString &section)
{
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
        return true;
    if (hasControlCharacter(line))
        return refuse(number, QStringLiteral("a control character in the line"));
    if (line.startsWith(QLatin1Char('['))) {
        const QStringView name =
            line.endsWith(QLatin1Char(']')) ? trimBlanks(line.mid(1, line.size() - 2)) : QStringView();
        if (name.isEmpty())
            return refuse(number, QStringLiteral("a section is a name in brackets, such as [Station]"));
        if (!m_sections.contains(name))
            return refuse(number, unknownSection(name));
        section = name.toString();
        return true;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return refuse(number, QStringLiteral("neither a section, nor Key=value, nor a comment "
                                             "(comment lines start with ; or #)"));
    const QStringView key = trimBlanks(line.first(equals));
    if (key.isEmpty())
        return refuse(number, QStringLiteral("a value without a key"));
    const QString path = section + QLatin1Char('/') + key.toString();
    if (section.isEmpty() || !m_known.contains(path))
        return refuse(number, unknownKey(key, section));
    const auto previous = m_entries.constFind(path);
    if (previous != m_entries.cend())
        return refuse(number, QStringLiteral("[%1] %2 is set again; it was set on line %3 "
                                             "(a key is set once)")
                                  .arg(section, key)
                                  .arg(previous->line));
    m_entries.insert(path, Entry{trimBlanks(line.mid(equals + 1)).toString(), number});
    return true;
}

bool ConfigText::refuse(int number, const QString &why)
{
    m_entries.clear();
    m_errorLine = number;
    m_error = why;
    return false;
}

QString ConfigText::unknownSection(QStringView section) const
{
    return QStringLiteral("unknown section [%1]; did you mean [%2]?")
        .arg(shown(section), m_sections.value(NearestName::nearest(section, m_sections)));
}

QString ConfigText::unknownKey(QStringView key, const QString &section) const
{
    // The nearest key of all sections, this section's first among equally near ones.
    QStringList names;
    QStringList sections;
    qsizetype ownKeys = 0;
    for (const QString &known : m_known) {
        const QString knownSection = known.section(QLatin1Char('/'), 0, 0);
        const qsizetype at = knownSection == section ? ownKeys++ : names.size();
        names.insert(at, known.section(QLatin1Char('/'), 1));
        sections.insert(at, knownSection);
    }
    const qsizetype best = NearestName::nearest(key, names);
    if (best < 0)
        return QStringLiteral("unknown key %1").arg(shown(key));
    const QString &name = names[best];
    const QString &home = sections[best];
    const QString where = section.isEmpty()
                              ? QStringLiteral("%1 before any section").arg(shown(key))
                              : QStringLiteral("unknown key %1 in [%2]").arg(shown(key), section);
    if (home == section)
        return QStringLiteral("%1; did you mean %2?").arg(where, name);
    if (name == key)
        return QStringLiteral("%1; %2 belongs in [%3]").arg(where, name, home);
    return QStringLiteral("%1; did you mean %2 in [%3]?").arg(where, name, home);
}
