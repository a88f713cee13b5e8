#ifndef TRENDREPORT_H
#define TRENDREPORT_H

#include "history/history.h"
#include "report/trendchart.h"

#include <QList>
#include <QPair>
#include <QString>

// The mean current of chosen modes over the runs of a history, as files:
// trend.csv, trend.svg, trend.png and a self-contained trend.html.
namespace TrendReport {

// A line per mode, the runs labelled by firmware where they have one, else by date.
TrendChart chart(const TrendPoints &points);

// `about` names what was chosen (board, firmware, tags, since) for the page.
bool write(const QString &folder, const TrendPoints &points, const QList<QPair<QString, QString>> &about, QString *error);

} // namespace TrendReport

#endif // TRENDREPORT_H
