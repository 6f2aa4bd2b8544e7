// A reference station under test: the reference_station process (Debian's EchoLink library,
// the independent peer), driven by command lines on its standard input and read through
// the event lines it writes (see refstation/LibraryStation.h for both).
#pragma once

#include <QProcess>
#include <QStringList>

class ReferenceStation
{
public:
    // address: its loopback address; callsign: how it presents itself.
    ReferenceStation(const QString &address, const QString &callsign);
    // Ends it with `quit` (so it says bye on its links), killed when it does not end.
    ~ReferenceStation();

    // Starts it with these further options (--name, --info, --gsm-only, --accept-all)
    // and waits until it reports ready.
    bool start(const QStringList &options = {});
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    void send(const QString &command);
    // Ends it at once (SIGKILL): no bye on its links, as when its machine goes away.
    void kill();

    // Waits for the next event line starting with `prefix`, searching from the line after
    // the last one found this way; the line, or an empty string after timeoutMs.
    QString waitFor(const QString &prefix, int timeoutMs);
    // Later waits look only at lines that come after this call.
    void skipSeen();
    // Every event line so far.
    QStringList lines();
    // What the library wrote on standard error.
    QString errors();

    QString address() const { return m_address; }
    QString callsign() const { return m_callsign; }

    // Text of an event turned back into its bytes (\\, \n, \r, \xHH).
    static QByteArray unescape(const QString &text);

private:
    void readLines();

    QString m_address;
    QString m_callsign;
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    qsizetype m_next = 0;
    QString m_errors;
};
