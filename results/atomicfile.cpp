#include "results/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Every byte to the file, or false with errno set.
bool writeAll(int fd, const QByteArray &content)
{
    const char *next = content.constData();
    for (qint64 left = content.size(); left > 0;) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= written;
    }
    return true;
}

// A new file beside the target, with the permissions a new file gets here.
int createBeside(const QFileInfo &target, QByteArray *name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = QFile::encodeName(QDir(target.absolutePath()).filePath(
            QStringLiteral(".%1.%2").arg(target.fileName()).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

// Written with the system's own calls, so that every step is checked and a
// failure keeps the system's reason ("No space left on device").
bool saveAtomically(const QString &path, const QByteArray &content, QString *error)
{
    QByteArray temporary;
    const int fd = createBeside(QFileInfo(path), &temporary);
    bool saved = fd >= 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    int cause = errno;
    if (fd >= 0 && ::close(fd) != 0 && saved) {
        saved = false;
        cause = errno;
    }
    if (saved && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        saved = false;
        cause = errno;
    }
    if (!saved) {
        if (fd >= 0)
            ::unlink(temporary.constData());
        *error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(cause)));
    }
    return saved;
}
