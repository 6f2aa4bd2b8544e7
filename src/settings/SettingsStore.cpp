#include "settings/SettingsStore.h"

#include "settings/SettingsError.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStringDecoder>
#include <cstdio>
#include <utility>

namespace {

// Qt's parser reads junk without complaint. NUL bytes or broken UTF-8 mean the file is
// not a settings file, whatever keys the parser finds in it.
bool isBinary(const QByteArray &contents)
{
    if (contents.contains('\0'))
        return true;
    QStringDecoder utf8(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = utf8(contents);
    return utf8.hasError();
}

QString reasonFor(const QSettings &settings)
{
    if (settings.status() == QSettings::FormatError)
        return QStringLiteral("the file could not be parsed");
    const QFileInfo folder(QFileInfo(settings.fileName()).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("its folder %1 does not exist and cannot be created").arg(folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("its folder %1 is not writable").arg(folder.filePath());
    return QStringLiteral("the file cannot be written");
}

// Files found unreadable in this run, with the contents they had. QSettings keeps one
// parse of each file for the whole process and reports a parse error only to the first
// store that opens it, so a later store on the same unchanged file learns it here.
QHash<QString, QByteArray> &unreadableFiles()
{
    static QHash<QString, QByteArray> files;
    return files;
}

}  // namespace

SettingsStore::SettingsStore(const QString &application, const QString &section)
    : m_application(application), m_section(section), m_settings(open())
{
    QFile file(m_settings->fileName());
    if (file.open(QIODevice::ReadOnly))
        m_contents = file.readAll();
    const QString name = m_settings->fileName();
    m_unreadable = m_settings->status() == QSettings::FormatError || isBinary(m_contents)
                   || (unreadableFiles().contains(name) && unreadableFiles().value(name) == m_contents);
    if (m_unreadable)
        unreadableFiles().insert(name, m_contents);
}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<QSettings> SettingsStore::open() const
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, m_application,
                                       m_application);
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

QString SettingsStore::read(const QString &key) const
{
    if (m_unreadable)
        return {};
    const QVariant value = m_settings->value(m_section + QLatin1Char('/') + key);
    // A hand-written value with a comma outside quotes is parsed into a list; the text
    // on the line is what was meant.
    if (value.typeId() == QMetaType::QStringList)
        return rawValue(key);
    return value.toString();
}

// The text after "key=" in the store's section, as it stands in the file.
QString SettingsStore::rawValue(const QString &key) const
{
    const QString header = QLatin1Char('[') + m_section + QLatin1Char(']');
    bool inSection = false;
    for (const QByteArray &bytes : m_contents.split('\n')) {
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == header;
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (inSection && equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

void SettingsStore::write(const QString &key, const QString &value)
{
    m_pending.append({key, value});
}

void SettingsStore::save()
{
    if (m_unreadable)
        replaceUnreadableFile();
    commit();
    // Qt re-reads the file to merge the save into it, and may find it damaged only now
    // (a stray line it skipped when loading): keep it aside and write a fresh file.
    if (m_settings->status() == QSettings::FormatError) {
        replaceUnreadableFile();
        commit();
    }
    m_pending.clear();
    if (m_settings->status() != QSettings::NoError)
        throw SettingsError(QStringLiteral("Could not save the settings to %1: %2.")
                                .arg(m_settings->fileName(), reasonFor(*m_settings)));
}

void SettingsStore::commit()
{
    m_settings->beginGroup(m_section);
    for (const auto &[key, value] : std::as_const(m_pending))
        m_settings->setValue(key, value);
    m_settings->endGroup();
    m_settings->sync();
}

void SettingsStore::replaceUnreadableFile()
{
    setUnreadableFileAside();
    m_settings = open();
    m_unreadable = false;
}

// Keeps a settings file that could not be read next to where it was, so that the save
// about to replace it does not destroy what the user may want back. An earlier copy is
// never overwritten: the next free name is taken (.unreadable, .unreadable.2, ...).
void SettingsStore::setUnreadableFileAside()
{
    const QString name = m_settings->fileName();
    m_settings.reset();
    unreadableFiles().remove(name);
    if (!QFileInfo::exists(name))
        return;
    QString aside = name + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = name + QStringLiteral(".unreadable.%1").arg(n);
    if (QFile::rename(name, aside))
        std::fprintf(stderr, "dialboard: the settings file %s could not be read; it is kept as %s\n",
                     qPrintable(name), qPrintable(aside));
    else
        std::fprintf(stderr,
                     "dialboard: the settings file %s could not be read, and it could not be "
                     "kept as %s; the next save replaces it\n",
                     qPrintable(name), qPrintable(aside));
}
