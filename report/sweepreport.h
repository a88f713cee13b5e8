#ifndef SWEEPREPORT_H
#define SWEEPREPORT_H

#include "report/currentchart.h"
#include "results/resultrow.h"
#include "results/runfacts.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// What the report says of the run besides its rows.
struct ReportContext
{
    QJsonObject settings;      // as results.json holds them
    RunFacts facts;
    std::optional<double> batteryMah;
    double shelfYears = 10;

    // From a folder's results.json where present; empty otherwise.
    static ReportContext fromFolder(const QString &folder);
};

namespace SweepReport {

// The chart of these rows, as the report shows it: each mean's value at
// the end of its row, the board and firmware in its title.
CurrentChart chart(const QList<ResultRow> &rows, const RunFacts &facts = RunFacts());

// chart.svg, chart.png and report.html in the folder, from these rows.
bool write(const QString &folder, const QList<ResultRow> &rows, const ReportContext &context, QString *error);

// A folder's rows as the report shows them: each row's derived cells (power,
// CoreMark per mA, verdict) follow from its own mean, limits and the supply
// the folder recorded, whatever an edit left in them. `warnings` gets what
// looks wrong and is kept, such as a mean outside its own min to max.
std::optional<QList<ResultRow>> rowsOf(const QString &folder, const ReportContext &context, QStringList *warnings, QString *error);

// The chart and report from the folder's own results.csv and results.json.
bool rebuild(const QString &folder, QString *error);

// Which board, firmware, tags and run a report is about, as results.json
// holds them; only those the run has.
QList<QPair<QString, QString>> identityOf(const RunFacts &facts);
// The same on one line: "board B7, firmware v1.4, run 5f0c…".
QString identityText(const RunFacts &facts);
// A chart's title with the board and firmware where the run has them:
// "Current per power mode: board B7, firmware v1.4".
QString chartTitle(const QString &title, const RunFacts &facts);

// A row's mean as tables show it: "312 nA", or "overload" where every reading overloaded.
QString meanCell(const ResultRow &row, QChar separator = QLatin1Char(' '));

// How long a battery of this capacity lasts at this current, to three
// digits in the largest unit that fits: "18.5 hours", "3.51 days",
// "2.40 years"; past the battery's shelf life, "> 10 years (shelf life)",
// or "> 10 years" where room is short.
enum class Room { Ample, Short };
QString batteryLife(double capacityMah, double amperes, double shelfYears, QChar separator = QLatin1Char(' '),
                    Room room = Room::Ample);

} // namespace SweepReport

#endif // SWEEPREPORT_H
