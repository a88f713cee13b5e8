#include "results/csv.h"

#include <QFile>
#include <QLocale>

namespace Csv {

QString quote(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n'))
        && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString row(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << quote(field);
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

std::optional<Table> read(const QString &path, const QStringList &expectedHeader, QString *error)
{
    return read(path, QList<QStringList> {expectedHeader}, error);
}

std::optional<Table> read(const QString &path, const QList<QStringList> &acceptedHeaders, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(file.readAll());
    QList<QStringList> records;
    QList<int> lines;
    QStringList record;
    QString field;
    bool quoted = false;
    int line = 1;
    int recordLine = 1;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
                if (c == QLatin1Char('\n'))
                    ++line;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            record << field;
            field.clear();
            if (record != QStringList(QString())) {
                records << record;
                lines << recordLine;
            }
            record.clear();
            recordLine = ++line;
        } else {
            field += c;
        }
    }
    if (quoted) {
        *error = QStringLiteral("%1:%2: a quoted field is never closed").arg(path).arg(recordLine);
        return std::nullopt;
    }
    if (!field.isEmpty() || !record.isEmpty()) {
        records << (record << field);
        lines << recordLine;
    }
    if (records.isEmpty() || !acceptedHeaders.contains(records.first())) {
        *error = QStringLiteral("%1:1: the header must be %2").arg(path, acceptedHeaders.first().join(QLatin1Char(',')));
        return std::nullopt;
    }
    Table table;
    table.header = records.takeFirst();
    lines.removeFirst();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).size() != table.header.size()) {
            *error = QStringLiteral("%1:%2: %3 fields where the header has %4")
                         .arg(path).arg(lines.at(i)).arg(records.at(i).size()).arg(table.header.size());
            return std::nullopt;
        }
    }
    table.rows = records;
    table.rowLines = lines;
    return table;
}

QString number(const std::optional<double> &value)
{
    return value ? QLocale::c().toString(*value, 'g', 10) : QString();
}

} // namespace Csv
