#include "node/OwnFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OwnFile {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes every missing folder of the path for the user alone. A folder that cannot be made
// shows when the file in it cannot be created.
void makeFolders(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    qsizetype slash = 0;
    while (slash >= 0) {
        slash = path.indexOf('/', slash + 1);
        ::mkdir((slash < 0 ? path : path.left(slash)).constData(), 0700);
    }
}

bool writeAll(int fd, const QByteArray &content)
{
    qsizetype written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

}  // namespace

QString createUnlessPresent(const QString &path, const QByteArray &content)
{
    makeFolders(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL creates or fails in one step and, with O_NOFOLLOW, never through a link.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        struct stat status
        {
        };
        if (error == EEXIST && ::stat(name.constData(), &status) == 0)
            return {};  // there already, or made by someone else meanwhile: read as it is
        if (error == EEXIST && ::lstat(name.constData(), &status) == 0 && S_ISLNK(status.st_mode))
            return QStringLiteral("cannot create %1: it is a symbolic link to %2, which does not exist; "
                                  "the file is never created through a link")
                .arg(path, QFileInfo(path).symLinkTarget());
        return QStringLiteral("cannot create %1: %2").arg(path, systemError(error));
    }
    const bool written = writeAll(fd, content);
    const int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(name.constData());  // a half-written file would be read as the user's own
        return QStringLiteral("cannot write %1: %2").arg(path, systemError(error));
    }
    return {};
}

QString readAtMost(const QString &path, qsizetype maxSize, QByteArray &content)
{
    content.clear();
    // Not blocking: a named pipe at path is refused below rather than waited on.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return QStringLiteral("cannot read %1: %2").arg(path, systemError(errno));
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0)
        return QStringLiteral("cannot read %1: %2").arg(path, systemError(errno));
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("cannot read %1: not a regular file").arg(path);
    const QString tooLarge = QStringLiteral("%1 is larger than %2 KiB; it cannot be the configuration")
                                 .arg(path)
                                 .arg(maxSize / 1024);
    if (status.st_size > maxSize)
        return tooLarge;
    // Read to the bound and one byte past it, in case the file grew since.
    content = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        content.clear();
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    }
    if (content.size() > maxSize) {
        content.clear();
        return tooLarge;
    }
    return {};
}

}  // namespace OwnFile
