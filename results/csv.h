#ifndef CSV_H
#define CSV_H

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Comma-separated values as RFC 4180 has them: a field with a comma, a quote
// or a line end is quoted, and quotes inside it are doubled.
namespace Csv {

QString quote(const QString &field);
QString row(const QStringList &fields);   // with the line end
// A current or other measured number: ten significant digits, more than any
// meter resolves, without the last digits of rounding an exact form carries;
// empty where there is none.
QString number(const std::optional<double> &value);

struct Table
{
    QStringList header;
    QList<QStringList> rows;
    QList<int> rowLines;   // the line each row starts on, for messages
};

// A table whose header must be `expectedHeader`; errors name the file and line.
std::optional<Table> read(const QString &path, const QStringList &expectedHeader, QString *error);
// The same, for a file whose header may be any of these (the newest first,
// then those of older files).
std::optional<Table> read(const QString &path, const QList<QStringList> &acceptedHeaders, QString *error);

} // namespace Csv

#endif // CSV_H
