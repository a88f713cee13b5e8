#ifndef ATOMICFILE_H
#define ATOMICFILE_H

#include <QByteArray>
#include <QString>

// A file written whole or not at all: its bytes go to a temporary file
// beside it, renamed over it by commit(). Left uncommitted, the temporary
// file is removed and the old file stays as it was.
class AtomicFile
{
public:
    explicit AtomicFile(const QString &path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // False once anything failed; commit() then says why.
    bool write(const QByteArray &bytes);
    bool commit(QString *error);

private:
    void failWith(int errorNumber);

    QString target;
    QByteArray temporary;
    int fd = -1;
    int cause = 0;   // errno of the first failure
};

// Writes the file whole through a temporary one renamed over it.
bool saveAtomically(const QString &path, const QByteArray &content, QString *error);

#endif // ATOMICFILE_H
