#ifndef SCRATCHFOLDER_H
#define SCRATCHFOLDER_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh working directory for one test, where the program writes its
// hand-off file; the previous working directory comes back afterwards.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();

    QString path() const;
    QString handOffPath() const;
    QByteArray handOffContent() const;
    void writeHandOff(const QByteArray &content) const;

    // Forbids writing into the folder, for root too (root loses the right to
    // override file permissions until the folder is destroyed).
    void makeReadOnly();

private:
    QTemporaryDir folder;
    QString previousFolder;
    bool readOnly = false;
};

#endif // SCRATCHFOLDER_H
