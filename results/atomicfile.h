#ifndef ATOMICFILE_H
#define ATOMICFILE_H

#include <QByteArray>
#include <QString>

// Writes the file whole through a temporary one renamed over it.
bool saveAtomically(const QString &path, const QByteArray &content, QString *error);

#endif // ATOMICFILE_H
