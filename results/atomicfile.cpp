#include "results/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
constexpr int privateWrite = O_WRONLY | O_CREAT | O_EXCL | O_BINARY | O_NOINHERIT;

int flushToDisk(int fd)
{
    return _commit(fd);
}

// Over the file that is there, as rename() does on POSIX; MoveFileEx keeps
// its reason in GetLastError(), given here as the errno it stands for.
int replace(const QByteArray &from, const QString &to)
{
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QFile::decodeName(from).utf16()), reinterpret_cast<const wchar_t *>(to.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    const DWORD why = GetLastError();
    errno = why == ERROR_DISK_FULL || why == ERROR_HANDLE_DISK_FULL ? ENOSPC : why == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return -1;
}
#else
constexpr int privateWrite = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;

int flushToDisk(int fd)
{
    return ::fsync(fd);
}

int replace(const QByteArray &from, const QString &to)
{
    return ::rename(from.constData(), QFile::encodeName(to).constData());
}
#endif

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
        const int fd = ::open(name->constData(), privateWrite, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

// Written with the system's own calls, so that every step is checked and a
// failure keeps the system's reason ("No space left on device").
AtomicFile::AtomicFile(const QString &path)
    : target(path)
{
    fd = createBeside(QFileInfo(path), &temporary);
    if (fd < 0)
        failWith(errno);
}

AtomicFile::~AtomicFile()
{
    // Never committed: the old file stays.
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temporary.constData());
    }
}

void AtomicFile::failWith(int errorNumber)
{
    if (!cause)
        cause = errorNumber ? errorNumber : EIO;
}

bool AtomicFile::write(const QByteArray &bytes)
{
    if (!cause && !writeAll(fd, bytes))
        failWith(errno);
    return !cause;
}

bool AtomicFile::commit(QString *error)
{
    if (!cause && flushToDisk(fd) != 0)
        failWith(errno);
    if (fd >= 0 && ::close(fd) != 0)
        failWith(errno);
    const bool opened = fd >= 0;
    fd = -1;
    if (!cause && replace(temporary, target) != 0)
        failWith(errno);
    if (cause) {
        if (opened)
            ::unlink(temporary.constData());
        *error = QStringLiteral("cannot write %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(cause)));
    }
    return !cause;
}

bool saveAtomically(const QString &path, const QByteArray &content, QString *error)
{
    AtomicFile file(path);
    file.write(content);
    return file.commit(error);
}
