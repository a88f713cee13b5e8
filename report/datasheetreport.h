#ifndef DATASHEETREPORT_H
#define DATASHEETREPORT_H

#include "history/datasheet.h"

#include <QList>
#include <QPair>
#include <QString>

// The current-consumption table across boards as files: table.csv and a
// self-contained table.html laid out as a datasheet's.
namespace DatasheetReport {

QByteArray csv(const Datasheet &sheet);
// `about` names what was chosen (firmware, tags, since) for the page.
QByteArray html(const Datasheet &sheet, const QList<QPair<QString, QString>> &about);
bool write(const QString &folder, const Datasheet &sheet, const QList<QPair<QString, QString>> &about, QString *error);

} // namespace DatasheetReport

#endif // DATASHEETREPORT_H
