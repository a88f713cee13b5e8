#include "report/comparison.h"

#include "report/currentchart.h"
#include "report/htmlpage.h"
#include "report/sweepreport.h"
#include "results/atomicfile.h"
#include "results/csv.h"

#include <QDir>

namespace {

QList<ChartSeries> comparisonSeries(const QString &before, const QString &after)
{
    return {{QStringLiteral("before: %1").arg(before), QColor(0x8a, 0x94, 0xa6)},
            {QStringLiteral("after: %1").arg(after), QColor(0xe0, 0x7a, 0x1f)}};
}

const ResultRow *rowFor(const QList<ResultRow> &rows, const ResultRow &point)
{
    for (const ResultRow &row : rows) {
        if (row.samePoint(point))
            return &row;
    }
    return nullptr;
}

ChartMeasure measureOf(const ResultRow *row)
{
    if (!row)
        return {std::nullopt, std::nullopt, std::nullopt, QStringLiteral("not in this run")};
    return {row->mean, row->min, row->max, row->missingCurrent()};
}

} // namespace

QString ComparedMode::change() const
{
    if (lostItsCurrent())
        return QStringLiteral("current lost");
    const std::optional<double> after = ratio();
    return after ? QStringLiteral("\u00d7%1").arg(QLocale::c().toString(*after, 'f', 2)) : QString();
}

std::optional<double> ComparedMode::ratio() const
{
    if (!before || !after || *before <= 0 || *after <= 0)
        return std::nullopt;
    return *after / *before;
}

std::optional<Comparison> Comparison::of(const QString &before, const QString &after, double factor, QString *error)
{
    Comparison comparison;
    comparison.beforeFolder = before;
    comparison.afterFolder = after;
    comparison.threshold = factor;
    const auto beforeRows = ResultsFolder::readRows(before, error);
    if (!beforeRows)
        return std::nullopt;
    const auto afterRows = ResultsFolder::readRows(after, error);
    if (!afterRows)
        return std::nullopt;
    comparison.beforeRows = *beforeRows;
    comparison.afterRows = *afterRows;

    // A mode is compared at the same voltage and temperature only; names
    // carry the conditions that tell the two runs' points apart.
    const QList<ResultRow> both = comparison.beforeRows + comparison.afterRows;
    const bool byVoltage = ResultRow::severalVoltages(both);
    const bool byTemperature = ResultRow::severalTemperatures(both);
    QList<ResultRow> order;
    for (const ResultRow &row : both) {
        if (!rowFor(order, row))
            order << row;
    }
    for (const ResultRow &point : order) {
        const ResultRow *was = rowFor(comparison.beforeRows, point);
        const ResultRow *is = rowFor(comparison.afterRows, point);
        comparison.compared << ComparedMode {point.index, point.modeAt(byVoltage, byTemperature), was ? was->mean : std::nullopt,
                                             is ? is->mean : std::nullopt, was != nullptr, is != nullptr,
                                             is ? is->missingCurrent() : QString()};
        comparison.points << point;
    }
    return comparison;
}

bool Comparison::changed(const ComparedMode &mode) const
{
    const std::optional<double> ratio = mode.ratio();
    return mode.lostItsCurrent() || (ratio && (*ratio > threshold || *ratio < 1 / threshold));
}

QList<ComparedMode> Comparison::changedModes() const
{
    QList<ComparedMode> modes;
    for (const ComparedMode &mode : compared) {
        if (changed(mode))
            modes << mode;
    }
    return modes;
}

CurrentChart Comparison::chart() const
{
    QList<ChartRow> chartRows;
    for (int i = 0; i < compared.size(); ++i) {
        const ComparedMode &mode = compared.at(i);
        const ResultRow &point = points.at(i);
        chartRows << ChartRow {QStringLiteral("%1  %2").arg(mode.index).arg(mode.mode),
                               {measureOf(rowFor(beforeRows, point)), measureOf(rowFor(afterRows, point))},
                               std::nullopt, std::nullopt, mode.change(), changed(mode)};
    }
    return CurrentChart(QStringLiteral("Current per power mode, before and after"),
                        comparisonSeries(QDir(beforeFolder).dirName(), QDir(afterFolder).dirName()), chartRows);
}

bool Comparison::write(const QString &folder, QString *error) const
{
    QByteArray csv = Csv::row({"index", "mode", "mean_a_before", "mean_a_after", "ratio"}).toUtf8();
    QList<QStringList> cells;
    QList<RowMark> marks;
    for (const ComparedMode &mode : compared) {
        const std::optional<double> ratio = mode.ratio();
        csv += Csv::row({QString::number(mode.index), mode.mode, Csv::number(mode.before), Csv::number(mode.after), Csv::number(ratio)}).toUtf8();
        cells << QStringList {QString::number(mode.index), mode.mode,
                              mode.before ? Readings::formatAmperes(*mode.before) : QStringLiteral("—"),
                              mode.after ? Readings::formatAmperes(*mode.after) : QStringLiteral("—"), mode.change()};
        marks << (changed(mode) ? RowMark::Failed : RowMark::Plain);
    }
    const CurrentChart chart = this->chart();
    const QByteArray svg = chart.svg();

    HtmlPage page(QStringLiteral("Power modes compared: %1 and %2").arg(QDir(beforeFolder).dirName(), QDir(afterFolder).dirName()));
    QList<QPair<QString, QString>> facts {{QStringLiteral("Before"), beforeFolder}, {QStringLiteral("After"), afterFolder}};
    // Which board, firmware and run each was, where the folders record them.
    for (const auto &run : {qMakePair(QStringLiteral("Before's run"), beforeFolder), qMakePair(QStringLiteral("After's run"), afterFolder)}) {
        const QString identity = SweepReport::identityText(ReportContext::fromFolder(run.second).facts);
        if (!identity.isEmpty())
            facts << qMakePair(run.first, identity);
    }
    facts << qMakePair(QStringLiteral("Marked"), QStringLiteral("a mean changed by more than a factor of %1 either way")
                                                     .arg(Numbers::format(threshold)));
    page.facts(facts);
    page.chart(svg);
    page.table({"Index", "Mode", "Mean before", "Mean after", "After / before"}, cells, marks);

    const QDir out(folder);
    return saveAtomically(out.filePath(QStringLiteral("compare.csv")), csv, error)
        && saveAtomically(out.filePath(QStringLiteral("compare.svg")), svg, error)
        && saveAtomically(out.filePath(QStringLiteral("compare.png")), chart.png(), error)
        && saveAtomically(out.filePath(QStringLiteral("compare.html")), page.html(), error);
}
