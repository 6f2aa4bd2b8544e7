// echolink-node's configuration file on disk, read in process (no bus, no network): values
// exactly as written, lines that cannot be taken refused with their line and the nearest
// known name, the template created for the user alone in one step and never through a
// symbolic link, and the size bound.
#include "node/NodeConfig.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A whole file as a user writes it: a value under test in [Station], then the
// keys of further sections, which must all still be read.
QByteArray fileWith(const QByteArray &password, const QByteArray &name)
{
    return "[Station]\n"
           "Callsign=w1aw-l\n"
           "Password="
           + password + "\nName=" + name
           + "\n"
             "[Links]\n"
             "Incoming=pattern\n"
             "Accept=W1.*\n"
             "[Network]\n"
             "DirectoryServers=127.10.60.3 127.10.60.4\n"
             "BindAddress=127.10.60.1\n";
}

mode_t modeOf(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

}  // namespace

class tst_node_config : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valuesAreReadAsWritten_data();
    void valuesAreReadAsWritten();
    void proxyIsHostAndPort_data();
    void proxyIsHostAndPort();
    void refusedLinesNameTheLineAndTheNearestName_data();
    void refusedLinesNameTheLineAndTheNearestName();
    void templateIsCreatedPrivateNeverThroughALink();
    void filesAreBoundedBeforeTheyAreRead();

private:
    // Writes the text to a file of the temporary folder and loads it.
    bool load(const QByteArray &text, NodeConfig &config, QString *error = nullptr);

    QTemporaryDir m_dir;
};

bool tst_node_config::load(const QByteArray &text, NodeConfig &config, QString *error)
{
    const QString path = m_dir.filePath(QStringLiteral("echolink-node.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    NodeConfigFile configFile(path);
    const bool loaded = configFile.load(config);
    if (error)
        *error = configFile.error();
    return loaded;
}

void tst_node_config::valuesAreReadAsWritten_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QString>("read");
    QTest::newRow("semicolon") << QByteArray("pa;ss") << QStringLiteral("pa;ss");
    QTest::newRow("backslash") << QByteArray("back\\slash") << QStringLiteral("back\\slash");
    QTest::newRow("quotes") << QByteArray("\"quoted\"") << QStringLiteral("\"quoted\"");
    QTest::newRow("open quote") << QByteArray("Se\"cr;et") << QStringLiteral("Se\"cr;et");
    QTest::newRow("equals") << QByteArray("a=b==c") << QStringLiteral("a=b==c");
    QTest::newRow("blanks trimmed") << QByteArray(" \t in between \t ") << QStringLiteral("in between");
    QTest::newRow("comma") << QByteArray("secret, with a comma") << QStringLiteral("secret, with a comma");
    QTest::newRow("comment sign") << QByteArray("#1 ;not a comment") << QStringLiteral("#1 ;not a comment");
    QTest::newRow("percent") << QByteArray("%U0041%20") << QStringLiteral("%U0041%20");
    QTest::newRow("windows line end") << QByteArray("crlf\r") << QStringLiteral("crlf");
    QTest::newRow("utf-8") << QByteArray("Grüße") << QStringLiteral("Grüße");
    QTest::newRow("empty") << QByteArray("") << QString();
}

void tst_node_config::valuesAreReadAsWritten()
{
    QFETCH(QByteArray, written);
    QFETCH(QString, read);
    NodeConfig config;
    QString error;
    QVERIFY2(load(fileWith(written, written), config, &error), qPrintable(error));
    QCOMPARE(config.password, read);
    QCOMPARE(config.name, read);
    // Nothing after the value was swallowed by it.
    QCOMPARE(config.callsign, QStringLiteral("W1AW-L"));
    QCOMPARE(config.incoming, NodeConfig::Incoming::Pattern);
    QVERIFY(config.acceptsCaller(QStringLiteral("W1XYZ")));
    QVERIFY(!config.acceptsCaller(QStringLiteral("K1XYZ")));
    QCOMPARE(config.directoryServers,
             QStringList({QStringLiteral("127.10.60.3"), QStringLiteral("127.10.60.4")}));
    QCOMPARE(config.bindAddress.toString(), QStringLiteral("127.10.60.1"));
}

void tst_node_config::proxyIsHostAndPort_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("password");
    QTest::newRow("none") << QByteArray() << QString() << 8100 << QString();
    QTest::newRow("empty") << QByteArray("Proxy=\nProxyPassword=\n") << QString() << 8100 << QString();
    QTest::newRow("name, public") << QByteArray("Proxy=proxy.example.org\n")
                                  << QStringLiteral("proxy.example.org") << 8100 << QString();
    QTest::newRow("address and port")
        << QByteArray("Proxy= 127.10.60.9:8200 \nProxyPassword=Pr\"ox;y\\\n") << QStringLiteral("127.10.60.9")
        << 8200 << QStringLiteral("Pr\"ox;y\\");
}

void tst_node_config::proxyIsHostAndPort()
{
    QFETCH(QByteArray, lines);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, password);
    NodeConfig config;
    QString error;
    QVERIFY2(load("[Network]\n" + lines, config, &error), qPrintable(error));
    QCOMPARE(config.proxyHost, host);
    QCOMPARE(int(config.proxyPort), port);
    QCOMPARE(config.proxyPassword, password);
}

void tst_node_config::refusedLinesNameTheLineAndTheNearestName_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("misspelt key") << QByteArray("[Station]\nCallsing=W1AW\n") << 2
                                  << "unknown key Callsing in [Station]; did you mean Callsign?";
    QTest::newRow("letter case of a key") << QByteArray("[Station]\n\n; comment\ncallsign=W1AW\n") << 4
                                          << "unknown key callsign in [Station]; did you mean Callsign?";
    QTest::newRow("section") << QByteArray("[station]\nCallsign=W1AW\n") << 1
                             << "unknown section [station]; did you mean [Station]?";
    QTest::newRow("plural") << QByteArray("[Network]\nDirectoryServer=a\n") << 2
                            << "unknown key DirectoryServer in [Network]; did you mean DirectoryServers?";
    QTest::newRow("other section")
        << QByteArray("[Station]\nBindAddress=127.0.0.1\n") << 2
        << "unknown key BindAddress in [Station]; BindAddress belongs in [Network]";
    QTest::newRow("near a key elsewhere")
        << QByteArray("[Links]\nKeepAlive=1\n") << 2
        << "unknown key KeepAlive in [Links]; did you mean KeepAliveMs in [Timing]?";
    QTest::newRow("before any section") << QByteArray("Callsign=W1AW\n[Station]\n") << 1
                                        << "Callsign before any section; Callsign belongs in [Station]";
    QTest::newRow("password never shown") << QByteArray("[Station]\nPasword=hunter2\n") << 2
                                          << "unknown key Pasword in [Station]; did you mean Password?";
    QTest::newRow("no equals sign") << QByteArray("[Station]\nCallsign W1AW\n") << 2
                                    << "neither a section, nor Key=value, nor a comment";
    QTest::newRow("no key") << QByteArray("[Station]\n=W1AW\n") << 2 << "a value without a key";
    QTest::newRow("set twice") << QByteArray("[Links]\nMaxLinks=2\n[Station]\n[Links]\nMaxLinks=3\n") << 5
                               << "[Links] MaxLinks is set again; it was set on line 2";
    QTest::newRow("unclosed section") << QByteArray("[Station\n") << 1 << "a section is a name in brackets";
    QTest::newRow("not utf-8") << QByteArray("[Station]\nName=Gr\xfc\xdf"
                                             "e\n")
                               << 2 << "not UTF-8 text";
    QTest::newRow("control character")
        << QByteArray("[Station]\nName=a\0b\n", 19) << 2 << "a control character";
    QTest::newRow("bad value") << QByteArray("[Links]\n\nMaxLinks=many\n") << 3
                               << "[Links] MaxLinks is 'many': a whole number from 1 to 100";
    QTest::newRow("proxy port")
        << QByteArray("[Network]\nProxy=proxy.example.org:99999\n") << 2
        << "[Network] Proxy is 'proxy.example.org:99999': a host name or IPv4 address";
    QTest::newRow("proxy without host")
        << QByteArray("[Network]\nProxy=:8100\n") << 2 << "[Network] Proxy is ':8100'";
    QTest::newRow("proxy with blanks")
        << QByteArray("[Network]\nProxy=a proxy\n") << 2 << "[Network] Proxy is 'a proxy'";
}

void tst_node_config::refusedLinesNameTheLineAndTheNearestName()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, message);
    NodeConfig config;
    QString error;
    QVERIFY(!load(text, config, &error));
    const QString where = m_dir.filePath(QStringLiteral("echolink-node.conf:%1: ").arg(line));
    QVERIFY2(error.startsWith(where + message), qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("hunter2")), qPrintable(error));
}

void tst_node_config::templateIsCreatedPrivateNeverThroughALink()
{
    // With no mask at all, only the creation itself can give the file and folders their modes.
    const mode_t mask = ::umask(0);
    const auto restore = qScopeGuard([mask] { ::umask(mask); });

    const QString folder = m_dir.filePath(QStringLiteral("home/echolink-node"));
    const QString path = folder + QStringLiteral("/echolink-node.conf");
    NodeConfigFile file(path);
    QVERIFY2(file.createIfMissing(), qPrintable(file.error()));
    QCOMPARE(modeOf(path), mode_t(0600));
    QCOMPARE(modeOf(folder), mode_t(0700));
    QCOMPARE(modeOf(m_dir.filePath(QStringLiteral("home"))), mode_t(0700));
    NodeConfig config;
    QVERIFY2(file.load(config), qPrintable(file.error()));  // the template reads well...
    QVERIFY(file.networkingBlocker(config).contains(QStringLiteral("Callsign and Password")));
    QVERIFY(config.proxyHost.isEmpty());  // ...with the proxy commented out

    // An existing file is left as it is.
    QFile edited(path);
    QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
    edited.write("[Station]\nCallsign=W1AW\n");
    edited.close();
    QVERIFY(file.createIfMissing());
    QVERIFY(edited.open(QIODevice::ReadOnly));
    QCOMPARE(edited.readAll(), QByteArray("[Station]\nCallsign=W1AW\n"));
    edited.close();

    // A link that leads nowhere is refused, and nothing is created where it points.
    const QString target = m_dir.filePath(QStringLiteral("elsewhere.conf"));
    const QString linked = m_dir.filePath(QStringLiteral("linked/echolink-node.conf"));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("linked"))));
    QVERIFY(QFile::link(target, linked));
    NodeConfigFile throughLink(linked);
    QVERIFY(!throughLink.createIfMissing());
    QVERIFY2(
        throughLink.error().contains(QStringLiteral("%1: it is a symbolic link to %2").arg(linked, target)),
        qPrintable(throughLink.error()));
    QVERIFY(!QFile::exists(target));
    // A link to an existing file is the user's own arrangement: read, never written.
    QVERIFY(QFile::copy(path, target));
    QVERIFY(throughLink.createIfMissing());
    QVERIFY2(throughLink.load(config), qPrintable(throughLink.error()));
    QCOMPARE(config.callsign, QStringLiteral("W1AW"));
    QVERIFY(edited.open(QIODevice::ReadOnly));
    QCOMPARE(edited.readAll(), QByteArray("[Station]\nCallsign=W1AW\n"));
}

void tst_node_config::filesAreBoundedBeforeTheyAreRead()
{
    // Exactly 64 KiB is read; one byte more is refused.
    QByteArray text = "[Station]\nCallsign=W1AW\n";
    text += ';' + QByteArray(64 * 1024 - text.size() - 2, 'x') + '\n';
    QCOMPARE(text.size(), 64 * 1024);
    NodeConfig config;
    QString error;
    QVERIFY2(load(text, config, &error), qPrintable(error));
    QCOMPARE(config.callsign, QStringLiteral("W1AW"));
    QVERIFY(!load(text + '\n', config, &error));
    QCOMPARE(error, m_dir.filePath(QStringLiteral("echolink-node.conf is larger than 64 KiB; "
                                                  "it cannot be the configuration")));

    // A 100 MB file (sparse: no disk used) is refused by its size, unread.
    const QString huge = m_dir.filePath(QStringLiteral("huge.conf"));
    QFile file(huge);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(100 * 1024 * 1024));
    file.close();
    NodeConfigFile hugeFile(huge);
    QVERIFY(!hugeFile.load(config));
    QVERIFY2(hugeFile.error().contains(QStringLiteral("larger than 64 KiB")), qPrintable(hugeFile.error()));

    // What is not a regular file is refused at once, a pipe with no writer included.
    const QString pipe = m_dir.filePath(QStringLiteral("pipe.conf"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString &path : {pipe, QStringLiteral("/dev/zero"), m_dir.path()}) {
        NodeConfigFile special(path);
        QVERIFY(!special.load(config));
        QCOMPARE(special.error(), QStringLiteral("cannot read %1: not a regular file").arg(path));
    }
}

QTEST_GUILESS_MAIN(tst_node_config)
#include "tst_node_config.moc"
