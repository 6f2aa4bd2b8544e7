// The per-user settings store: text values addressed by key under one application and
// section, kept in $XDG_CONFIG_HOME/<application>/<application>.conf by QSettings.
//
// Reads see the file as it was when the store was opened. Writes are collected and
// reach the disk together in save(): Qt writes a temporary file under a lock file and
// renames it over the old one, so a save is all-or-nothing and two running copies of
// the program never leave a mixed or half-written file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <memory>

class QSettings;

class SettingsStore
{
public:
    // Opens the store of `application` (also its folder) and `section`, and reads the file.
    SettingsStore(const QString &application, const QString &section);
    ~SettingsStore();

    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // The stored text exactly as written; the empty string when the key has no value.
    QString read(const QString &key) const;
    // Replaces the key's value (or creates it) at the next save().
    void write(const QString &key, const QString &value);
    // Writes every pending value in one go. Throws SettingsError naming the file and
    // the reason when the file could not be written; the old file is then left whole.
    void save();

    QString fileName() const;

private:
    std::unique_ptr<QSettings> open() const;
    QString rawValue(const QString &key) const;
    void commit();
    void replaceUnreadableFile();
    void setUnreadableFileAside();

    QString m_application;
    QString m_section;
    std::unique_ptr<QSettings> m_settings;
    QByteArray m_contents;  // the file as read, for values Qt would split at commas
    bool m_unreadable = false;
    QList<QPair<QString, QString>> m_pending;
};
