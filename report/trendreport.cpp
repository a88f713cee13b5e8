#include "report/trendreport.h"

#include "report/htmlpage.h"
#include "results/atomicfile.h"
#include "results/csv.h"

#include <QDir>
#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <tuple>

namespace {

// A line of the trend: one board's mode at one voltage. Boards are never
// joined into one line, nor a mode measured at a voltage with one measured
// without.
struct LineKey
{
    QString board;
    int index = 0;
    int voltage = ResultRow::noVoltage;   // ResultRow::voltageKey()

    bool operator<(const LineKey &other) const
    {
        return std::tie(board, index, voltage) < std::tie(other.board, other.index, other.voltage);
    }
};

// The points laid out as runs in time order and a line per board, mode and
// voltage, in the order of their keys.
struct Series
{
    QStringList runIds;
    QStringList runLabels;
    QList<LineKey> keys;
    QStringList names;        // "STOP2", "STOP2 at 1.80 V", "STOP2, board B7"
    QList<TrendLine> lines;
    QList<int> fails;         // the runs each line was FAIL in
};

// A mode's name as its line's label gives it: with its voltage where the
// runs differ in it, and its board where they are of several.
QString lineName(const TrendPoint &point, bool severalVoltages, bool severalBoards)
{
    QString name = point.mode;
    if (severalVoltages)
        name += point.voltageKey == ResultRow::noVoltage ? QStringLiteral(" (no voltage recorded)")
                                                         : QStringLiteral(" at ") + ResultRow::voltageText(point.voltageKey);
    if (severalBoards)
        name += point.boardId.isEmpty() ? QStringLiteral(", no board id") : QStringLiteral(", board ") + point.boardId;
    return name;
}

// The CSV's mode cell, as it has always been: with its voltage where the
// mode was measured at several.
QMap<QPair<int, int>, QString> csvNamesOf(const TrendPoints &points)
{
    QMap<int, QSet<int>> voltages;
    for (const TrendPoint &point : points)
        voltages[point.index].insert(point.voltageKey);
    QMap<QPair<int, int>, QString> names;
    for (const TrendPoint &point : points) {
        const QPair<int, int> key(point.index, point.voltageKey);
        if (!names.contains(key)) {
            names.insert(key, voltages.value(point.index).size() > 1 && point.voltageKey != ResultRow::noVoltage
                                  ? point.mode + QStringLiteral(" at ") + ResultRow::voltageText(point.voltageKey)
                                  : point.mode);
        }
    }
    return names;
}

// Points come a run at a time, so a run's index and its board's lines are
// looked up once a run, and each point's line by two numbers.
Series seriesOf(const TrendPoints &points)
{
    const bool severalVoltages = std::any_of(points.cbegin(), points.cend(), [&points](const TrendPoint &point) {
        return point.voltageKey != points.first().voltageKey;
    });
    const bool severalBoards = std::any_of(points.cbegin(), points.cend(), [&points](const TrendPoint &point) {
        return point.boardId != points.first().boardId;
    });
    QList<LineKey> keys;
    QList<TrendLine> lines;
    QList<int> fails;
    QHash<QString, QHash<QPair<int, int>, int>> linesOfBoard;
    QHash<QPair<int, int>, int> *boardLines = nullptr;
    int runCount = 0;
    for (int i = 0; i < points.size(); ++i)
        runCount += i == 0 || points.at(i).runId != points.at(i - 1).runId ? 1 : 0;
    QStringList runIds, runLabels;
    const TrendPoint *runHead = nullptr;
    for (const TrendPoint &point : points) {
        if (!runHead || point.runId != runHead->runId) {
            runHead = &point;
            runIds << point.runId;
            runLabels << (point.firmware.isEmpty() ? point.started.toUTC().toString(QStringLiteral("yyyy-MM-dd")) : point.firmware);
            boardLines = &linesOfBoard[point.boardId];
        }
        int &line = (*boardLines)[qMakePair(point.index, point.voltageKey)];
        if (line == 0) {
            keys << LineKey {point.boardId, point.index, point.voltageKey};
            lines << TrendLine {QStringLiteral("%1 %2").arg(point.index).arg(lineName(point, severalVoltages, severalBoards)),
                                QVector<std::optional<double>>(runCount), QVector<bool>(runCount)};
            fails << 0;
            line = lines.size();   // one past its place, so that 0 is none
        }
        TrendLine &drawn = lines[line - 1];
        const int run = runIds.size() - 1;
        drawn.means[run] = point.mean;
        drawn.failed[run] = point.failed;
        fails[line - 1] += point.failed ? 1 : 0;
    }
    // In the order of their keys.
    QList<int> order;
    for (int i = 0; i < keys.size(); ++i)
        order << i;
    std::sort(order.begin(), order.end(), [&keys](int a, int b) { return keys.at(a) < keys.at(b); });
    Series series;
    series.runIds = runIds;
    series.runLabels = runLabels;
    for (int i : qAsConst(order)) {
        series.keys << keys.at(i);
        series.names << lines.at(i).label.section(QLatin1Char(' '), 1);
        series.lines << lines.at(i);
        series.fails << fails.at(i);
    }
    return series;
}

TrendChart chartOf(const Series &series)
{
    return TrendChart(QStringLiteral("Mean current per power mode, run after run"), series.runLabels, series.lines);
}

QString amperes(const std::optional<double> &value)
{
    return value ? Readings::formatAmperes(*value) : QStringLiteral("—");
}

QByteArray csvOf(const TrendPoints &points)
{
    // Ten thousand runs make 180,000 lines: what a run's lines share is quoted once.
    QByteArray csv = Csv::row({"run_id", "started_utc", "board_id", "firmware", "index", "mode", "mean_a"}).toUtf8();
    QString run;
    QByteArray runCells;
    QMap<QPair<int, int>, QByteArray> modeCells;
    const QMap<QPair<int, int>, QString> names = csvNamesOf(points);
    for (auto name = names.cbegin(); name != names.cend(); ++name)
        modeCells.insert(name.key(), Csv::quote(name.value()).toUtf8());
    for (const TrendPoint &point : points) {
        if (point.runId != run) {
            run = point.runId;
            runCells = Csv::row({point.runId, point.started.toUTC().toString(Qt::ISODate), point.boardId, point.firmware})
                           .chopped(1).toUtf8() + ',';
        }
        const QByteArray &mode = modeCells[qMakePair(point.index, point.voltageKey)];
        csv.append(runCells).append(QByteArray::number(point.index)).append(',').append(mode).append(',');
        csv.append(Csv::number(point.mean).toLatin1()).append('\n');
    }
    return csv;
}

// A row per mode: its first and last mean, its range and its FAIL runs.
QList<QStringList> summaryOf(const Series &series, QList<RowMark> *marks)
{
    QList<QStringList> rows;
    for (int i = 0; i < series.keys.size(); ++i) {
        const TrendLine &line = series.lines.at(i);
        QList<double> means;
        for (const std::optional<double> &mean : line.means) {
            if (mean)
                means << *mean;
        }
        const auto [lowest, highest] = std::minmax_element(means.cbegin(), means.cend());
        const bool any = !means.isEmpty();
        rows << QStringList {QString::number(series.keys.at(i).index), series.names.at(i), QString::number(means.size()),
                             amperes(any ? std::optional<double>(means.first()) : std::nullopt),
                             amperes(any ? std::optional<double>(means.last()) : std::nullopt),
                             amperes(any ? std::optional<double>(*lowest) : std::nullopt),
                             amperes(any ? std::optional<double>(*highest) : std::nullopt),
                             QString::number(series.fails.at(i))};
        *marks << (series.fails.at(i) > 0 ? RowMark::Failed : RowMark::Plain);
    }
    return rows;
}

} // namespace

namespace TrendReport {

TrendChart chart(const TrendPoints &points)
{
    return chartOf(seriesOf(points));
}

bool write(const QString &folder, const TrendPoints &points, const QList<QPair<QString, QString>> &about, QString *error)
{
    const Series series = seriesOf(points);
    const TrendChart drawn = chartOf(series);
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
