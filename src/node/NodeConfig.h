// The node's configuration file ($XDG_CONFIG_HOME/echolink-node/echolink-node.conf, an INI
// file read exactly as written, see ConfigText): who the station is, where the directory
// is, which links it takes, and the node's own retry intervals. Read at start, and again
// for a new callsign and password after the directory refused a log-on; the node never
// writes to it except to create a commented template, readable by the user alone, when
// there is none.
#pragma once

#include <QHostAddress>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <string>

class ConfigText;

struct NodeConfig
{
    enum class Incoming { All, None, Pattern };

    QString callsign;  // upper case
    QString password;
    QString name;         // sent to linked stations with the callsign
    QString location;     // the directory's description of the station
    QString description;  // station information sent to every station linked with
    QStringList directoryServers;
    QHostAddress bindAddress;  // null: any address
    // An EchoLink proxy that carries all directory and station traffic; empty host: none.
    static constexpr quint16 DefaultProxyPort = 8100;
    QString proxyHost;
    quint16 proxyPort = DefaultProxyPort;
    QString proxyPassword;  // empty: a public proxy
    Incoming incoming = Incoming::All;
    QRegularExpression accept;  // Incoming::Pattern: callers that match may link...
    QRegularExpression reject;  // ...unless they match this one
    int maxLinks = 4;
    QString autoConnect;             // a station the node links with at start and keeps linked
    int idleTimeoutMs = 0;           // a link without sound either way this long is dropped; 0: never
    bool listStationsInInfo = true;  // the information sent to links lists who is linked

    // Sound, by the audio library's device names; empty: none on that side.
    std::string inputDevice = "alsa:default";
    std::string outputDevice = "alsa:default";
    bool gsmOnly = false;                 // offer GSM only, for old peers that mishandle Speex
    int transmitLimitMs = 3 * 60 * 1000;  // a transmission ends by itself after this long

    // The node's own intervals, in milliseconds.
    int directoryRetryMs = 5000;           // first retry after a failed log-on; doubles up to 32 times
    int directoryTimeoutMs = 20000;        // a directory that stays silent this long has failed
    int listRefreshMs = 4 * 60 * 1000;     // the station list is fetched again this often
    int unknownCallerFetchMs = 60000;      // unknown callers cause at most one list fetch per this
    int refusedMemoryMs = 10 * 60 * 1000;  // a refused address is ignored this long
    int keepAliveMs = 10000;               // a link's keep-alive; an unanswered call gives up after 5
    int linkTimeoutMs = 50000;             // a link that hears nothing this long has timed out
    int autoConnectRetryMs = 10000;        // first pause before AutoConnect calls again; doubles

    // The description the directory shows: the location, cut to the directory's 27 characters.
    QString directoryDescription() const;
    // The station information linked stations receive: the description, or else the name
    // and location.
    QString stationInfo() const;
    // Whether a station calling in may link, by the incoming policy alone.
    bool acceptsCaller(const QString &callsign) const;
};

// Reading the file. Every problem is one sentence that names the file, the line and the
// key or section.
class NodeConfigFile
{
public:
    explicit NodeConfigFile(QString path);

    // $XDG_CONFIG_HOME/echolink-node/echolink-node.conf
    static QString defaultPath();

    QString path() const { return m_path; }

    // Creates the template, readable and writable by the user alone, when no file exists.
    // False, with the reason in error(), when it cannot.
    bool createIfMissing();
    // Reads every value; false, with error() saying which line of which file, on a file
    // that cannot be read, one larger than 64 KiB, a line that cannot be taken (an unknown
    // section or key among them) or a bad value.
    bool load(NodeConfig &config);
    // The same from the file's text.
    bool read(const QByteArray &text, NodeConfig &config);
    // Why networking must not start although the file reads well: the file is readable by
    // others, or the callsign or password is missing. Empty when networking may start.
    QString networkingBlocker(const NodeConfig &config) const;

    QString error() const { return m_error; }

private:
    // key: "Section/Key".
    bool fail(const ConfigText &text, const char *key, const QString &value, const QString &expected);

    QString m_path;
    QString m_error;
};
