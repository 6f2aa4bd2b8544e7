#include "node/NodeConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
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

// The value as text. QSettings parses a value with a comma outside quotes into a list;
// the text on the line is what the user meant, so such a value is read from the line.
QString rawText(const QSettings &settings, const QString &path, const QString &key)
{
    const QVariant value = settings.value(key);
    if (value.typeId() != QMetaType::QStringList)
        return value.toString().trimmed();
    const QString group = key.section(QLatin1Char('/'), 0, 0);
    const QString name = key.section(QLatin1Char('/'), 1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    for (const QByteArray &bytes : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0 && line.left(equals).trimmed() == name)
            return line.mid(equals + 1).trimmed();
    }
    return {};
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
    if (QFileInfo::exists(m_path))
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile file(m_path);
    // Created with no permission for anyone else from the first byte on.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(Template) != qint64(sizeof(Template) - 1)) {
        m_error = QStringLiteral("cannot create %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}

bool NodeConfigFile::fail(const QString &key, const QString &value, const QString &expected)
{
    m_error = QStringLiteral("%1 in %2 is '%3': %4").arg(key, m_path, value, expected);
    return false;
}

bool NodeConfigFile::load(NodeConfig &config)
{
    QFile probe(m_path);
    if (!probe.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read %1: %2").arg(m_path, probe.errorString());
        return false;
    }
    probe.close();
    const QSettings settings(m_path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        m_error = QStringLiteral("%1 is not a readable configuration file").arg(m_path);
        return false;
    }
    auto text = [&](const char *key) { return rawText(settings, m_path, QLatin1String(key)); };

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
        return fail(QStringLiteral("[Station] Callsign"), config.callsign,
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
        return fail(QStringLiteral("[Network] BindAddress"), bind,
                    QStringLiteral("an IPv4 address of this machine, or nothing for any"));

    const QString incoming = text("Links/Incoming").toLower();
    if (incoming.isEmpty() || incoming == QLatin1String("all"))
        config.incoming = NodeConfig::Incoming::All;
    else if (incoming == QLatin1String("none"))
        config.incoming = NodeConfig::Incoming::None;
    else if (incoming == QLatin1String("pattern"))
        config.incoming = NodeConfig::Incoming::Pattern;
    else
        return fail(QStringLiteral("[Links] Incoming"), incoming,
                    QStringLiteral("one of all, none, pattern"));
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
            return fail(QStringLiteral("[Links] %1").arg(QLatin1String(key).mid(6)), value,
                        QStringLiteral("not a regular expression (%1)").arg(pattern->errorString()));
    }

    for (auto [key, device] : {std::pair{"Audio/InputDevice", &config.inputDevice},
                               std::pair{"Audio/OutputDevice", &config.outputDevice}}) {
        if (!settings.contains(QLatin1String(key)))
            continue;  // the default device
        const QString value = text(key);
        if (!value.isEmpty() && !value.contains(QLatin1Char(':')))
            return fail(QStringLiteral("[Audio] %1").arg(QLatin1String(key).mid(6)), value,
                        QStringLiteral("a device such as alsa:default, or nothing for none"));
        *device = value.toStdString();
    }
    const QString gsmOnly = text("Audio/GsmOnly").toLower();
    if (gsmOnly.isEmpty() || gsmOnly == QLatin1String("false") || gsmOnly == QLatin1String("no"))
        config.gsmOnly = false;
    else if (gsmOnly == QLatin1String("true") || gsmOnly == QLatin1String("yes"))
        config.gsmOnly = true;
    else
        return fail(QStringLiteral("[Audio] GsmOnly"), gsmOnly, QStringLiteral("true or false"));

    // What the node does with its links by itself.
    config.autoConnect = text("Links/AutoConnect");
    if (!std::all_of(config.autoConnect.cbegin(), config.autoConnect.cend(),
                     [&](QChar c) { return callsignChar(c.toUpper()); }))
        return fail(QStringLiteral("[Links] AutoConnect"), config.autoConnect,
                    QStringLiteral("a callsign, conference name or node number"));
    const QString listStations = text("Links/ListStationsInInfo").toLower();
    if (listStations.isEmpty() || listStations == QLatin1String("true")
        || listStations == QLatin1String("yes"))
        config.listStationsInInfo = true;
    else if (listStations == QLatin1String("false") || listStations == QLatin1String("no"))
        config.listStationsInInfo = false;
    else
        return fail(QStringLiteral("[Links] ListStationsInInfo"), listStations,
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
            return fail(
                QStringLiteral("[%1] %2").arg(QString::fromLatin1(number.key).section(QLatin1Char('/'), 0, 0),
                                              QString::fromLatin1(number.key).section(QLatin1Char('/'), 1)),
                value, QStringLiteral("a whole number from %1 to %2").arg(number.min).arg(number.max));
        *number.target = parsed;
    }
    // [Timing] IdleTimeoutMs, when set, stands for [Links] IdleTimeoutMin in milliseconds.
    config.idleTimeoutMs = idleMinutes * 60000;
    const QString idleMs = text("Timing/IdleTimeoutMs");
    if (!idleMs.isEmpty()) {
        bool ok = false;
        config.idleTimeoutMs = idleMs.toInt(&ok);
        if (!ok || config.idleTimeoutMs < 0 || config.idleTimeoutMs > 7 * 24 * 3600000)
            return fail(QStringLiteral("[Timing] IdleTimeoutMs"), idleMs,
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
