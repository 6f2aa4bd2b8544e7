// The station information linked stations receive: the node's own, then, with
// [Links] ListStationsInInfo, one line per linked station, so that everyone in a
// conference sees who is on. When the list changes the new text goes to the links at
// once, or, within SpacingMs of the last time it went, when that time is over.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class InfoList : public QObject
{
    Q_OBJECT

public:
    static constexpr int SpacingMs = 5000;

    InfoList(QString ownInfo, bool listStations, QObject *parent = nullptr);

    // The text as it stands, for a link that comes up.
    QByteArray text() const { return m_text; }
    // The stations linked now; true when the text went out to every link at once.
    bool setLinks(const QStringList &callsigns);

Q_SIGNALS:
    // The text changed: every link hears it again.
    void changed(const QByteArray &text);

private:
    QByteArray compose(const QStringList &callsigns) const;

    QString m_own;
    bool m_listStations;
    QByteArray m_text;
    QTimer m_spacing;
    bool m_pending = false;
};
