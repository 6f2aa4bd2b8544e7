// The text of the node's configuration file, read exactly as written. A line is a section
// "[Name]", a "Key=value" pair, a comment (first non-blank character ';' or '#') or blank.
// A value is the rest of the line after the first '=', with the blanks (spaces, tabs, a
// carriage return) at both of its ends trimmed and nothing else changed: no escapes, no
// quotes, no comments after it. Sections and keys are matched letter case and all, and only
// the names of the given table are taken; the first line that cannot be taken stops the
// reading with the line's number and a sentence that names the nearest known name.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class ConfigText
{
public:
    // The largest file read; the text of a larger one is refused unread.
    static constexpr qsizetype MaxSize = 64 * 1024;

    // known: every key the file may hold, as "Section/Key".
    explicit ConfigText(QStringList known);

    // Takes every line of the text; false at the first one it cannot take, with
    // errorLine() and error() saying which and why. Values are never part of a message.
    bool parse(const QByteArray &text);
    int errorLine() const { return m_errorLine; }
    QString error() const { return m_error; }

    // By "Section/Key": whether the file sets the key, its value (empty when it does not),
    // and the line that sets it (0 when none does).
    bool contains(const QString &key) const { return m_entries.contains(key); }
    QString value(const QString &key) const { return m_entries.value(key).value; }
    int line(const QString &key) const { return m_entries.value(key).line; }

private:
    struct Entry
    {
        QString value;
        int line = 0;
    };

    bool takeLine(QStringView line, int number, QString &section);
    bool refuse(int number, const QString &why);
    QString unknownKey(QStringView key, const QString &section) const;
    QString unknownSection(QStringView section) const;

    QStringList m_known;
    QStringList m_sections;
    QHash<QString, Entry> m_entries;
    int m_errorLine = 0;
    QString m_error;
};
