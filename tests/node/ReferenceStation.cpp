#include "ReferenceStation.h"

#include <QDeadlineTimer>
#include <QTest>

ReferenceStation::ReferenceStation(const QString &address, const QString &callsign)
    : m_address(address), m_callsign(callsign)
{}

ReferenceStation::~ReferenceStation()
{
    if (!isRunning())
        return;
    send(QStringLiteral("quit"));
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool ReferenceStation::start(const QStringList &options)
{
    m_process.start(
        QStringLiteral(REFERENCE_STATION_PATH),
        QStringList{QStringLiteral("--address"), m_address, QStringLiteral("--callsign"), m_callsign}
            + options);
    if (!m_process.waitForStarted(5000))
        return false;
    return !waitFor(QStringLiteral("ready"), 5000).isEmpty();
}

void ReferenceStation::send(const QString &command)
{
    m_process.write(command.toUtf8() + '\n');
    m_process.waitForBytesWritten(1000);
}

void ReferenceStation::kill()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

void ReferenceStation::readLines()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromLatin1(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}

QString ReferenceStation::waitFor(const QString &prefix, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        readLines();
        for (qsizetype i = m_next; i < m_lines.size(); ++i) {
            if (m_lines.at(i).startsWith(prefix)) {
                m_next = i + 1;
                return m_lines.at(i);
            }
        }
        if (deadline.hasExpired() || !isRunning())
            return {};
        QTest::qWait(10);
    }
}

void ReferenceStation::skipSeen()
{
    readLines();
    m_next = m_lines.size();
}

QStringList ReferenceStation::lines()
{
    readLines();
    return m_lines;
}

QString ReferenceStation::errors()
{
    m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_errors;
}

QByteArray ReferenceStation::unescape(const QString &text)
{
    const QByteArray in = text.toLatin1();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) != '\\' || i + 1 == in.size()) {
            out += in.at(i);
            continue;
        }
        const char next = in.at(++i);
        if (next == 'n') {
            out += '\n';
        } else if (next == 'r') {
            out += '\r';
        } else if (next == 'x' && i + 2 < in.size()) {
            out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += next;
        }
    }
    return out;
}
