#include "node/LinksLog.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QByteArray utc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate).toLatin1();
}

}  // namespace

LinksLog::LinksLog(QString path) : m_path(std::move(path))
{}

QString LinksLog::defaultPath()
{
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules say.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/echolink-node/links.log");
}

QByteArray LinksLog::line(const QString &callsign, Direction direction, const QDateTime &start,
                          const QDateTime &end)
{
    QByteArray call;
    for (const QChar c : callsign) {
        if (call.size() == MaxCallsign)
            break;
        // Printable ASCII only: one field, one line, whatever the far station sent.
        call += c.unicode() > 0x20 && c.unicode() < 0x7f ? char(c.unicode()) : '?';
    }
    if (call.isEmpty())
        call = "?";
    return utc(start) + ' ' + utc(end) + (direction == Direction::In ? " in " : " out ") + call;
}

QString LinksLog::record(const QString &callsign, Direction direction, const QDateTime &start,
                         const QDateTime &end) const
{
    // The folder is the user's alone, as the file is.
    const QFileInfo file(m_path);
    const QString folder = file.absolutePath();
    if (!QDir(folder).exists()
        && !(QDir().mkpath(QFileInfo(folder).absolutePath())
             && QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return QStringLiteral("cannot make the folder %1").arg(folder);
    // Not blocking, so that a pipe put in the file's place cannot stall the node.
    const int fd =
        ::open(QFile::encodeName(m_path).constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0)
        return QStringLiteral("cannot open %1: %2")
            .arg(m_path, errno == ELOOP ? QStringLiteral("it is a symbolic link")
                                        : QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status
    {
    };
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return QStringLiteral("cannot write %1: not a regular file").arg(m_path);
    }
    const QByteArray text = line(callsign, direction, start, end) + '\n';
    // One write of a short line in append mode: lines of two nodes never interleave.
    const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
    const int writeError = errno;
    ::close(fd);
    if (written != ssize_t(text.size()))
        return QStringLiteral("cannot write %1: %2")
            .arg(m_path, QString::fromLocal8Bit(std::strerror(written < 0 ? writeError : ENOSPC)));
    return {};
}
