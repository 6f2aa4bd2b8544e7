// The station's connection to an EchoLink proxy: connects over TCP, answers the proxy's
// nonce with the callsign and the password's digest, then carries the station's
// datagrams and its directory connection as proxy messages (ProxyMessage.h). The proxy
// never confirms a log-in, so the client counts as connected once it has answered; a
// SYSTEM message, or the proxy closing the connection soon after the answer before
// sending anything, is a refusal. A refused or lost connection is tried again with
// back-off: the first wait doubles each time up to MaxBackoff times, and starts over
// once a connection has held for a while.
#pragma once

#include "node/protocol/ProxyMessage.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

class ProxyClient : public QObject
{
    Q_OBJECT

public:
    enum class State { Off, Connecting, Authenticating, Connected, Refused, Lost };
    static constexpr int DefaultPort = 8100;
    static constexpr int MaxBackoff = 32;
    // The proxy's nonce must come this soon after connecting.
    static constexpr int GreetingTimeoutMs = 10000;
    // A connection closed within this time of the log-in, before the proxy sent anything,
    // was refused; one that held this long resets the back-off.
    static constexpr int SettleMs = 5000;
    // What Qt may hold of the proxy's bytes before the client reads them.
    static constexpr qint64 ReadBufferSize = 4 * (ProxyMessage::HeaderSize + ProxyMessage::MaxPayload);

    struct Settings
    {
        QString host;
        quint16 port = DefaultPort;
        QString callsign;
        QString password;          // empty: a public proxy
        QHostAddress bindAddress;  // the local end of the connection; null: any
        int retryMs = 5000;        // the first wait before trying again
    };

    explicit ProxyClient(Settings settings, QObject *parent = nullptr);
    ~ProxyClient() override;

    // Connects, and keeps connecting until stop().
    void start();
    void stop();

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }
    // "HOST:PORT".
    QString proxyName() const;
    // For the window, the bus and the log: connecting, authenticating, connected, or
    // what went wrong and when it is tried again.
    QString status() const { return m_status; }

    // Sends a message; false when the proxy is not connected.
    bool send(ProxyMessage::Type type, quint32 address, const QByteArray &payload = {});

Q_SIGNALS:
    void stateChanged(ProxyClient::State state, const QString &status);
    // A message from the proxy after the log-in (never SYSTEM: that one refuses).
    void received(const ProxyMessage &message);

private:
    void connectNow();
    void connected();
    void readAvailable();
    void handle(const ProxyMessage &message);
    void ended(State state, const QString &reason);
    void setState(State state, const QString &status);

    Settings m_settings;
    QTcpSocket m_socket;
    QByteArray m_buffer;
    QTimer m_greeting;
    QTimer m_retry;
    QTimer m_settle;
    State m_state = State::Off;
    QString m_status;
    int m_backoff = 1;
    bool m_heardSinceLogIn = false;
    bool m_running = false;
};
