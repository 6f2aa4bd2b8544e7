#include "node/NodeConfig.h"

#include "node/ConfigText.h"
#include "node/OwnFile.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>

#include <sys/stat.h>

namespace {

constexpr int MaxDescription = 27;  // what the directory shows of a station's description

const char Template[] =
    "; echolink-node configuration. This file holds your EchoLink password: keep it\n"
    "; readable by you alone (chmod 600). See echolink-node(1) for every key.\n"
    "[Station]\n"
    "; Your callsign as validated by EchoLink, with -L for a link or -R for a repeater.\n"
    "Callsign=\n"
    "Password=\n"
    "; Sent to stations you link with.\n"
    "Name=\n"
    "; Shown in the directory (27 characters at most).\n"
    "Location=\n"
    "; Sent to stations you link with as your station information (default: name and location).\n"
    "Description=\n"
    "\n"
    "[Network]\n"
    "; Directory servers, separated by blanks; the node tries them in order.\n"
    "; DirectoryServers=servers.echolink.org\n"
    "; The local address for the link ports (UDP 5198, 5199) and the directory connection.\n"
    "; BindAddress=\n"
    "; An EchoLink proxy (host, or host:port; port 8100 by default) for a station behind a\n"
    "; router that does not forward UDP 5198-5199; its password, or nothing for a public proxy.\n"
    "; Proxy=\n"
    "; ProxyPassword=\n"
    "\n"
    "[Links]\n"
    "; Incoming links: all, none, or pattern (then Accept and Reject are regular expressions).\n"
    "Incoming=all\n"
    "MaxLinks=4\n"
    "; A station to link with at start and to keep linked (callsign or node number).\n"
    "; AutoConnect=\n"
    "; Drop a link after this many minutes without sound either way (0: never).\n"
    "IdleTimeoutMin=0\n"
    "; true: the information sent to linked stations lists every station linked.\n"
    "ListStationsInInfo=true\n"
    "\n"
    "[Audio]\n"
    "; Sound devices by the audio library's names: alsa:default reaches PulseAudio or\n"
    "; PipeWire on a desktop; alsa:plughw:1,0 is a card of its own.\n"
    "InputDevice=alsa:default\n"
    "OutputDevice=alsa:default\n"
    "; true: offer only the GSM codec, for old stations that mishandle Speex.\n"
    "GsmOnly=false\n"
    "; A transmission ends by itself after this many milliseconds (3 minutes).\n"
    "TransmitLimitMs=180000\n";

// Every key the file may hold, as "Section/Key".
const QStringList &knownKeys()
{
    static const QStringList keys = {
        QStringLiteral("Station/Callsign"),
        QStringLiteral("Station/Password"),
        QStringLiteral("Station/Name"),
        QStringLiteral("Station/Location"),
        QStringLiteral("Station/Description"),
        QStringLiteral("Network/DirectoryServers"),
        QStringLiteral("Network/BindAddress"),
        QStringLiteral("Network/Proxy"),
        QStringLiteral("Network/ProxyPassword"),
        QStringLiteral("Links/Incoming"),
        QStringLiteral("Links/Accept"),
        QStringLiteral("Links/Reject"),
        QStringLiteral("Links/MaxLinks"),
        QStringLiteral("Links/AutoConnect"),
        QStringLiteral("Links/IdleTimeoutMin"),
        QStringLiteral("Links/ListStationsInInfo"),
        QStringLiteral("Audio/InputDevice"),
        QStringLiteral("Audio/OutputDevice"),
        QStringLiteral("Audio/GsmOnly"),
        QStringLiteral("Audio/TransmitLimitMs"),
        QStringLiteral("Timing/DirectoryRetryMs"),
        QStringLiteral("Timing/DirectoryTimeoutMs"),
        QStringLiteral("Timing/ListRefreshMs"),
        QStringLiteral("Timing/UnknownCallerFetchMs"),
        QStringLiteral("Timing/RefusedMemoryMs"),
        QStringLiteral("Timing/KeepAliveMs"),
        QStringLiteral("Timing/LinkTimeoutMs"),
        QStringLiteral("Timing/AutoConnectRetryMs"),
        QStringLiteral("Timing/IdleTimeoutMs"),
    };
    return keys;
}

// A host name or IPv4 address as the proxy's: letters, digits, '-', '.' and '_'.
bool isHostName(const QString &host)
{
    const auto hostChar = [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
               || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
               || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')
               || c == QLatin1Char('.') || c == QLatin1Char('_');
    };
    return !host.isEmpty() && host.size() <= 253 && std::all_of(host.cbegin(), host.cend(), hostChar);
}

}  // namespace

QString NodeConfig::directoryDescription() const
{
    return location.left(MaxDescription);
}

QString NodeConfig::stationInfo() const
{
    if (!description.isEmpty())
        return description;
    return QStringList{name, location}.join(QLatin1Char('\n')).trimmed();
}

bool NodeConfig::acceptsCaller(const QString &call) const
{
    switch (incoming) {
    case Incoming::All:
        return true;
    case Incoming::None:
        return false;
    case Incoming::Pattern:
        return accept.match(call).hasMatch() && !reject.match(call).hasMatch();
    }
    return false;
}

NodeConfigFile::NodeConfigFile(QString path) : m_path(std::move(path))
{}

QString NodeConfigFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/echolink-node/echolink-node.conf");
}

bool NodeConfigFile::createIfMissing()
{
    m_error = OwnFile::createUnlessPresent(m_path, QByteArray(Template));
    return m_error.isEmpty();
}

bool NodeConfigFile::fail(const ConfigText &text, const char *key, const QString &value,
                          const QString &expected)
{
    const QString name = QString::fromLatin1(key);
    m_error =
        QStringLiteral("%1:%2: [%3] %4 is '%5': %6")
            .arg(m_path)
            .arg(text.line(name))
            .arg(name.section(QLatin1Char('/'), 0, 0), name.section(QLatin1Char('/'), 1), value, expected);
    return false;
}

bool NodeConfigFile::load(NodeConfig &config)
{
    QByteArray bytes;
    m_error = OwnFile::readAtMost(m_path, ConfigText::MaxSize, bytes);
    return m_error.isEmpty() && read(bytes, config);
}

bool NodeConfigFile::read(const QByteArray &bytes, NodeConfig &config)
{
    ConfigText file(knownKeys());
    if (!file.parse(bytes)) {
        m_error = file.errorLine() > 0
                      ? QStringLiteral("%1:%2: %3").arg(m_path).arg(file.errorLine()).arg(file.error())
                      : QStringLiteral("%1: %2").arg(m_path, file.error());
        return false;
    }
    auto text = [&](const char *key) { return file.value(QLatin1String(key)); };

    config.callsign = text("Station/Callsign").toUpper();
    config.password = text("Station/Password");
    config.name = text("Station/Name");
    config.location = text("Station/Location");
    config.description = text("Station/Description");
    // Checked by hand rather than by a regular expression: with the default policy the
    // node then never loads the expression engine, which costs half a MiB of memory.
    const auto callsignChar = [](QChar c) {
        return (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
               || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*')
               || c == QLatin1Char('/') || c == QLatin1Char('-');
    };
    if (!std::all_of(config.callsign.cbegin(), config.callsign.cend(), callsignChar))
        return fail(file, "Station/Callsign", config.callsign,
                    QStringLiteral("a callsign has only letters, digits and '-'"));

    const QString servers = text("Network/DirectoryServers");
    if (!servers.isEmpty())
        config.directoryServers = QString(servers)
                                      .replace(QLatin1Char(','), QLatin1Char(' '))
                                      .simplified()
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    else
        config.directoryServers = {QStringLiteral("servers.echolink.org")};

    const QString bind = text("Network/BindAddress");
    config.bindAddress = QHostAddress();
    if (!bind.isEmpty()
        && (!config.bindAddress.setAddress(bind)
            || config.bindAddress.protocol() != QAbstractSocket::IPv4Protocol))
        return fail(file, "Network/BindAddress", bind,
                    QStringLiteral("an IPv4 address of this machine, or nothing for any"));

    // host or host:port; the port is EchoLink's proxy port unless given.
    const QString proxy = text("Network/Proxy");
    config.proxyHost = proxy;
    config.proxyPort = NodeConfig::DefaultProxyPort;
    const qsizetype colon = proxy.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const uint port = QStringView(proxy).mid(colon + 1).toUInt(&ok);
        config.proxyHost = proxy.left(colon);
        config.proxyPort = quint16(port);
        if (!ok || port < 1 || port > 65535)
            config.proxyHost.clear();  // refused below
    }
    if (!proxy.isEmpty() && !isHostName(config.proxyHost))
        return fail(file, "Network/Proxy", proxy,
                    QStringLiteral("a host name or IPv4 address, with :port (1 to 65535) unless it is %1, "
                                   "or nothing for no proxy")
                        .arg(NodeConfig::DefaultProxyPort));
    config.proxyPassword = text("Network/ProxyPassword");

    const QString incoming = text("Links/Incoming").toLower();
    if (incoming.isEmpty() || incoming == QLatin1String("all"))
        config.incoming = NodeConfig::Incoming::All;
    else if (incoming == QLatin1String("none"))
        config.incoming = NodeConfig::Incoming::None;
    else if (incoming == QLatin1String("pattern"))
        config.incoming = NodeConfig::Incoming::Pattern;
    else
        return fail(file, "Links/Incoming", incoming, QStringLiteral("one of all, none, pattern"));
    for (auto [key, pattern, fallback] : {std::tuple{"Links/Accept", &config.accept, ".*"},
                                          std::tuple{"Links/Reject", &config.reject, "(?!)"}}) {
        QString value = text(key);
        if (value.isEmpty() && config.incoming != NodeConfig::Incoming::Pattern)
            continue;  // the policy never asks this pattern
        if (value.isEmpty())
            value = QLatin1String(fallback);
        *pattern = QRegularExpression(QRegularExpression::anchoredPattern(value),
                                      QRegularExpression::CaseInsensitiveOption);
        if (!pattern->isValid())
            return fail(file, key, value,
                        QStringLiteral("not a regular expression (%1)").arg(pattern->errorString()));
    }

    for (auto [key, device] : {std::pair{"Audio/InputDevice", &config.inputDevice},
                               std::pair{"Audio/OutputDevice", &config.outputDevice}}) {
        if (!file.contains(QLatin1String(key)))
            continue;  // the default device
        const QString value = text(key);
        if (!value.isEmpty() && !value.contains(QLatin1Char(':')))
            return fail(file, key, value,
                        QStringLiteral("a device such as alsa:default, or nothing for none"));
        *device = value.toStdString();
    }
    const QString gsmOnly = text("Audio/GsmOnly").toLower();
    if (gsmOnly.isEmpty() || gsmOnly == QLatin1String("false") || gsmOnly == QLatin1String("no"))
        config.gsmOnly = false;
    else if (gsmOnly == QLatin1String("true") || gsmOnly == QLatin1String("yes"))
        config.gsmOnly = true;
    else
        return fail(file, "Audio/GsmOnly", gsmOnly, QStringLiteral("true or false"));

    // What the node does with its links by itself.
    config.autoConnect = text("Links/AutoConnect");
    if (!std::all_of(config.autoConnect.cbegin(), config.autoConnect.cend(),
                     [&](QChar c) { return callsignChar(c.toUpper()); }))
        return fail(file, "Links/AutoConnect", config.autoConnect,
                    QStringLiteral("a callsign, conference name or node number"));
    const QString listStations = text("Links/ListStationsInInfo").toLower();
    if (listStations.isEmpty() || listStations == QLatin1String("true")
        || listStations == QLatin1String("yes"))
        config.listStationsInInfo = true;
    else if (listStations == QLatin1String("false") || listStations == QLatin1String("no"))
        config.listStationsInInfo = false;
    else
        return fail(file, "Links/ListStationsInInfo", listStations,
                    QStringLiteral("true or false"));
    int idleMinutes = 0;

    struct Number
    {
        const char *key;
        int *target;
        int min;
        int max;
    };
    const Number numbers[] = {
        {"Links/MaxLinks", &config.maxLinks, 1, 100},
        {"Links/IdleTimeoutMin", &idleMinutes, 0, 7 * 24 * 60},
        {"Audio/TransmitLimitMs", &config.transmitLimitMs, 100, 24 * 3600000},
        {"Timing/DirectoryRetryMs", &config.directoryRetryMs, 10, 3600000},
        {"Timing/DirectoryTimeoutMs", &config.directoryTimeoutMs, 10, 3600000},
        {"Timing/ListRefreshMs", &config.listRefreshMs, 100, 24 * 3600000},
        {"Timing/UnknownCallerFetchMs", &config.unknownCallerFetchMs, 0, 3600000},
        {"Timing/RefusedMemoryMs", &config.refusedMemoryMs, 0, 24 * 3600000},
        {"Timing/KeepAliveMs", &config.keepAliveMs, 10, 3600000},
        {"Timing/LinkTimeoutMs", &config.linkTimeoutMs, 10, 3600000},
        {"Timing/AutoConnectRetryMs", &config.autoConnectRetryMs, 10, 3600000},
    };
    for (const Number &number : numbers) {
        const QString value = text(number.key);
        if (value.isEmpty())
            continue;
        bool ok = false;
        const int parsed = value.toInt(&ok);
        if (!ok || parsed < number.min || parsed > number.max)
            return fail(file, number.key, value,
                        QStringLiteral("a whole number from %1 to %2").arg(number.min).arg(number.max));
        *number.target = parsed;
    }
    // [Timing] IdleTimeoutMs, when set, stands for [Links] IdleTimeoutMin in milliseconds.
    config.idleTimeoutMs = idleMinutes * 60000;
    const QString idleMs = text("Timing/IdleTimeoutMs");
    if (!idleMs.isEmpty()) {
        bool ok = false;
        config.idleTimeoutMs = idleMs.toInt(&ok);
        if (!ok || config.idleTimeoutMs < 0 || config.idleTimeoutMs > 7 * 24 * 3600000)
            return fail(file, "Timing/IdleTimeoutMs", idleMs,
                        QStringLiteral("a whole number from 0 to %1").arg(7 * 24 * 3600000));
    }
    return true;
}

QString NodeConfigFile::networkingBlocker(const NodeConfig &config) const
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &status) == 0
        && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return QStringLiteral("%1 holds the EchoLink password but others may read it; "
                              "run: chmod 600 %1")
            .arg(m_path);
    QStringList missing;
    if (config.callsign.isEmpty())
        missing << QStringLiteral("Callsign");
    if (config.password.isEmpty())
        missing << QStringLiteral("Password");
    if (!missing.isEmpty())
        return QStringLiteral("no networking until %1 %2 set in the [Station] section of %3")
            .arg(missing.join(QLatin1String(" and ")),
                 missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"), m_path);
    return {};
}
