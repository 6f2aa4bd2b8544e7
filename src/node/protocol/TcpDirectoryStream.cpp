#include "node/protocol/TcpDirectoryStream.h"

TcpDirectoryStream::TcpDirectoryStream(const QHostAddress &bindAddress, QObject *parent)
    : DirectoryStream(parent), m_bindAddress(bindAddress)
{
    connect(&m_socket, &QTcpSocket::connected, this, &DirectoryStream::connected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &DirectoryStream::readyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            Q_EMIT closed();
        else
            Q_EMIT failed(m_socket.errorString());
    });
}

void TcpDirectoryStream::open(const QString &host)
{
    if (!m_bindAddress.isNull())
        m_socket.bind(m_bindAddress);
    // Host names are looked up by Qt without blocking the loop.
    m_socket.connectToHost(host, DirectoryPort);
}

void TcpDirectoryStream::write(const QByteArray &bytes)
{
    m_socket.write(bytes);
}

QByteArray TcpDirectoryStream::read(qint64 maxSize)
{
    return m_socket.read(maxSize);
}

void TcpDirectoryStream::abort()
{
    m_socket.disconnect(this);
    m_socket.abort();
}
