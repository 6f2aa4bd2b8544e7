// One connection to an EchoLink directory server (TCP port 5200) for one command or one
// station list: a plain TCP connection, or the one directory connection tunnelled
// through an EchoLink proxy. Signals come only from the event loop, never from inside a
// call on the stream.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class DirectoryStream : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 DirectoryPort = 5200;

    using QObject::QObject;

    // Connects to port 5200 of host, a name or an IPv4 address.
    virtual void open(const QString &host) = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // At most maxSize of the bytes received and not yet read.
    virtual QByteArray read(qint64 maxSize) = 0;
    // Ends the connection at once; no signal follows.
    virtual void abort() = 0;

Q_SIGNALS:
    void connected();
    void readyRead();
    // The directory ended the connection; what it sent before can still be read.
    void closed();
    // The connection could not be made or broke: why, for the log.
    void failed(const QString &reason);
};
