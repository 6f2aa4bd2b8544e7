#include "node/StationList.h"

#include "node/FarText.h"

namespace {

// The next line at pos, without its newline. False when it is not complete yet.
bool nextLine(const QByteArray &text, qsizetype &pos, QByteArray &line)
{
    const qsizetype end = text.indexOf('\n', pos);
    if (end < 0)
        return false;
    line = text.mid(pos, end - pos);
    pos = end + 1;
    return true;
}

bool isAllDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

}  // namespace

StationList::Parse StationList::parse(const QByteArray &text, StationList &list)
{
    list.m_entries.clear();
    if (text.size() < 4)
        return QByteArray("@@@\n").startsWith(text) ? Parse::NeedMore : Parse::Broken;
    if (!text.startsWith("@@@\n"))
        return Parse::Broken;
    qsizetype pos = 4;
    QByteArray line;
    // A line longer than any field, complete or not, means a broken answer.
    auto tooLong = [&](qsizetype from) {
        const qsizetype end = text.indexOf('\n', from);
        return (end < 0 ? text.size() : end) - from > MaxLine;
    };
    if (tooLong(pos))
        return Parse::Broken;
    if (!nextLine(text, pos, line))
        return Parse::NeedMore;
    bool ok = false;
    const int count = line.trimmed().toInt(&ok);
    if (!ok || count < 0 || count > MaxEntries)
        return Parse::Broken;
    // A station takes at least eight bytes: the count alone reserves no more than the text can fill.
    list.m_entries.reserve(qMin<qsizetype>(count, text.size() / 8));
    for (int i = 0; i < count; ++i) {
        QByteArray fields[4];
        for (QByteArray &field : fields) {
            if (tooLong(pos))
                return Parse::Broken;
            if (!nextLine(text, pos, field))
                return Parse::NeedMore;
        }
        StationEntry entry;
        entry.callsign = FarText::clean(fields[0]).trimmed();
        const QString data = FarText::clean(fields[1]);
        const qsizetype status = data.lastIndexOf(QLatin1Char('['));
        entry.description = (status < 0 ? data : data.left(status)).trimmed();
        // "[ON 12:34]" or "[BUSY 12:34]": the first word is the station's state.
        if (status >= 0)
            entry.status = data.mid(status + 1)
                               .section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty)
                               .remove(QLatin1Char(']'))
                               .toUpper();
        entry.id = fields[2].trimmed().toInt(&ok);
        if (!ok || entry.id < 0)
            return Parse::Broken;
        // A lone "." or " " callsign carries a message from the directory, not a station.
        if (entry.callsign.isEmpty() || entry.callsign == QLatin1String("."))
            continue;
        if (!entry.address.setAddress(QString::fromLatin1(fields[3].trimmed()))
            || entry.address.protocol() != QAbstractSocket::IPv4Protocol)
            return Parse::Broken;
        list.m_entries.append(entry);
    }
    if (text.size() - pos < 3)
        return QByteArray("+++").startsWith(text.mid(pos)) ? Parse::NeedMore : Parse::Broken;
    return text.mid(pos, 3) == "+++" ? Parse::Complete : Parse::Broken;
}

const StationEntry *StationList::find(const QString &call) const
{
    const QString wanted = call.trimmed();
    if (isAllDigits(wanted)) {
        bool ok = false;
        const int id = wanted.toInt(&ok);
        for (const StationEntry &entry : m_entries)
            if (ok && entry.id == id)
                return &entry;
        return nullptr;
    }
    return findCallsign(wanted);
}

const StationEntry *StationList::findCallsign(const QString &callsign) const
{
    if (callsign.isEmpty())
        return nullptr;
    for (const StationEntry &entry : m_entries)
        if (entry.callsign.compare(callsign, Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}
