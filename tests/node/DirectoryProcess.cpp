#include "DirectoryProcess.h"

#include <QDeadlineTimer>
#include <QTest>

DirectoryProcess::~DirectoryProcess()
{
    stop();
}

bool DirectoryProcess::start(const QString &address, const QStringList &arguments)
{
    m_log.clear();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(DIRECTORY_STAND_IN_PATH),
                    QStringList{QStringLiteral("--address"), address} + arguments);
    return m_process.waitForStarted(5000) && !waitForLine(QStringLiteral("ready"), 5000).isEmpty();
}

void DirectoryProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void DirectoryProcess::setMode(const QString &mode)
{
    const QString echo = QStringLiteral("mode ") + mode;
    const qsizetype before = log().count(echo);
    m_process.write((echo + QLatin1Char('\n')).toLatin1());
    m_process.waitForBytesWritten(1000);
    QVERIFY(QTest::qWaitFor([&] { return log().count(echo) > before; }, 5000));
}

QStringList DirectoryProcess::log()
{
    while (m_process.canReadLine())
        m_log << QString::fromLatin1(m_process.readLine()).trimmed();
    return m_log;
}

QString DirectoryProcess::waitForLine(const QString &start, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const QString &line : log())
            if (line.startsWith(start))
                return line;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return {};
        QTest::qWait(20);
    }
}
