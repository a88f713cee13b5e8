#include "report/trendreport.h"

#include "report/htmlpage.h"
#include "results/atomicfile.h"
#include "results/csv.h"

#include <QDir>
#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

// A line of the trend: a mode, at one voltage where runs measured it at several.
using LineKey = QPair<int, int>;   // index, ResultRow::voltageKey()

// The points laid out as runs in time order and a line per mode and voltage.
struct Series
{
    QStringList runIds;
    QStringList runLabels;
    QList<LineKey> keys;
    QMap<LineKey, QString> names;     // "STOP2", or "STOP2 at 1.80 V"
    QMap<LineKey, TrendLine> lines;
    QMap<LineKey, int> fails;         // the runs it was FAIL in
};

// A mode's name, with its voltage where the mode has lines at several.
QMap<LineKey, QString> namesOf(const QList<TrendPoint> &points)
{
    QMap<int, QSet<int>> voltages;
    for (const TrendPoint &point : points)
        voltages[point.index].insert(point.voltageKey);
    QMap<LineKey, QString> names;
    for (const TrendPoint &point : points) {
        const LineKey key(point.index, point.voltageKey);
        if (!names.contains(key)) {
            names.insert(key, voltages.value(point.index).size() > 1 && point.voltageKey != ResultRow::noVoltage
                                  ? point.mode + QStringLiteral(" at ") + ResultRow::voltageText(point.voltageKey)
                                  : point.mode);
        }
    }
    return names;
}

Series seriesOf(const QList<TrendPoint> &points)
{
    Series series;
    series.names = namesOf(points);
    series.keys = series.names.keys();
    QHash<QString, int> runOf;
    for (const TrendPoint &point : points) {
        if (!runOf.contains(point.runId)) {
            runOf.insert(point.runId, series.runIds.size());
            series.runIds << point.runId;
            series.runLabels << (point.firmware.isEmpty() ? point.started.toUTC().toString(QStringLiteral("yyyy-MM-dd"))
                                                          : point.firmware);
        }
    }
    for (const TrendPoint &point : points) {
        const LineKey key(point.index, point.voltageKey);
        TrendLine &line = series.lines[key];
        if (line.means.isEmpty()) {
            line.label = QStringLiteral("%1 %2").arg(point.index).arg(series.names.value(key));
            for (int run = 0; run < series.runIds.size(); ++run) {
                line.means << std::nullopt;
                line.failed << false;
            }
        }
        const int run = runOf.value(point.runId);
        line.means[run] = point.mean;
        line.failed[run] = point.verdict == QLatin1String("FAIL");
        series.fails[key] += line.failed.at(run) ? 1 : 0;
    }
    return series;
}

QString amperes(const std::optional<double> &value)
{
    return value ? Readings::formatAmperes(*value) : QStringLiteral("—");
}

QByteArray csvOf(const QList<TrendPoint> &points)
{
    // Ten thousand runs make 180,000 lines: what a run's lines share is quoted once.
    QByteArray csv = Csv::row({"run_id", "started_utc", "board_id", "firmware", "index", "mode", "mean_a"}).toUtf8();
    QString run;
    QByteArray runCells;
    QMap<LineKey, QByteArray> modeCells;
    const QMap<LineKey, QString> names = namesOf(points);
    for (auto name = names.cbegin(); name != names.cend(); ++name)
        modeCells.insert(name.key(), Csv::quote(name.value()).toUtf8());
    for (const TrendPoint &point : points) {
        if (point.runId != run) {
            run = point.runId;
            runCells = Csv::row({point.runId, point.started.toUTC().toString(Qt::ISODate), point.boardId, point.firmware})
                           .chopped(1).toUtf8() + ',';
        }
        const QByteArray &mode = modeCells[LineKey(point.index, point.voltageKey)];
        csv.append(runCells).append(QByteArray::number(point.index)).append(',').append(mode).append(',');
        csv.append(Csv::number(point.mean).toLatin1()).append('\n');
    }
    return csv;
}

// A row per mode: its first and last mean, its range and its FAIL runs.
QList<QStringList> summaryOf(const Series &series, QList<RowMark> *marks)
{
    QList<QStringList> rows;
    for (const LineKey &key : series.keys) {
        const TrendLine &line = series.lines.value(key);
        QList<double> means;
        for (const std::optional<double> &mean : line.means) {
            if (mean)
                means << *mean;
        }
        const auto [lowest, highest] = std::minmax_element(means.cbegin(), means.cend());
        const bool any = !means.isEmpty();
        rows << QStringList {QString::number(key.first), series.names.value(key), QString::number(means.size()),
                             amperes(any ? std::optional<double>(means.first()) : std::nullopt),
                             amperes(any ? std::optional<double>(means.last()) : std::nullopt),
                             amperes(any ? std::optional<double>(*lowest) : std::nullopt),
                             amperes(any ? std::optional<double>(*highest) : std::nullopt),
                             QString::number(series.fails.value(key))};
        *marks << (series.fails.value(key) > 0 ? RowMark::Failed : RowMark::Plain);
    }
    return rows;
}

} // namespace

namespace TrendReport {

TrendChart chart(const QList<TrendPoint> &points)
{
    const Series series = seriesOf(points);
    QList<TrendLine> lines;
    for (const LineKey &key : series.keys)
        lines << series.lines.value(key);
    return TrendChart(QStringLiteral("Mean current per power mode, run after run"), series.runLabels, lines);
}

bool write(const QString &folder, const QList<TrendPoint> &points, const QList<QPair<QString, QString>> &about, QString *error)
{
    const Series series = seriesOf(points);
    const TrendChart drawn = chart(points);
    const QByteArray svg = drawn.svg();

    HtmlPage page(QStringLiteral("Mean current over runs"));
    QList<QPair<QString, QString>> facts = about;
    facts << qMakePair(QStringLiteral("Runs"), QString::number(series.runIds.size()));
    if (!points.isEmpty()) {
        const auto when = [](const QDateTime &time) { return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")); };
        facts << qMakePair(QStringLiteral("From"), when(points.first().started))
              << qMakePair(QStringLiteral("To"), when(points.last().started));
    }
    page.facts(facts);
    page.chart(svg);
    page.heading(QStringLiteral("Each mode over these runs"));
    QList<RowMark> marks;
    const QList<QStringList> rows = summaryOf(series, &marks);
    page.table({"#", "Mode", "Runs", "First", "Last", "Lowest", "Highest", "FAIL runs"}, rows, marks);

    const QDir out(folder);
    return saveAtomically(out.filePath(QStringLiteral("trend.csv")), csvOf(points), error)
        && saveAtomically(out.filePath(QStringLiteral("trend.svg")), svg, error)
        && saveAtomically(out.filePath(QStringLiteral("trend.png")), drawn.png(), error)
        && saveAtomically(out.filePath(QStringLiteral("trend.html")), page.html(), error);
}

} // namespace TrendReport
