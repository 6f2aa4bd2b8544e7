// The way to the directory without a proxy: a plain TCP connection for each stream.
#pragma once

#include "node/protocol/DirectoryRoute.h"
#include "node/protocol/TcpDirectoryStream.h"

#include <QHostAddress>

class TcpDirectoryRoute : public DirectoryRoute
{
public:
    explicit TcpDirectoryRoute(QHostAddress bindAddress) : m_bindAddress(std::move(bindAddress)) {}
    DirectoryStream *newStream(QObject *parent) override
    {
        return new TcpDirectoryStream(m_bindAddress, parent);
    }

private:
    QHostAddress m_bindAddress;
};
