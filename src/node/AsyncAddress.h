// IPv4 addresses between Qt's form and the EchoLink library's. A null QHostAddress is the
// library's empty address (no address: any interface when binding).
#pragma once

#include <AsyncIpAddress.h>

#include <QHostAddress>

inline Async::IpAddress toAsyncAddress(const QHostAddress &address)
{
    if (address.isNull())
        return Async::IpAddress();
    return Async::IpAddress(address.toString().toStdString());
}

inline QHostAddress toQtAddress(const Async::IpAddress &address)
{
    return QHostAddress(QString::fromStdString(address.toString()));
}
