#include "serial/handofffile.h"

#include <QFile>
#include <QTextStream>

namespace HandOffFile {

const char fileName[] = "data.txt";

bool write(const QString &portName)
{
    QFile file(QString::fromLatin1(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream stream(&file);
    stream << portName << '\n';
    stream.flush();
    return stream.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
}

QString read()
{
    QFile file(QString::fromLatin1(fileName));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString name = QTextStream(&file).readLine();
    // The system would cut the name at a zero and open whatever device the
    // rest names; such a line names no port.
    return name.contains(QChar::Null) ? QString() : name;
}

} // namespace HandOffFile
