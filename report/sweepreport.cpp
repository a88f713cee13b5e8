#include "report/sweepreport.h"

#include "report/currentchart.h"
#include "report/htmlpage.h"
#include "results/atomicfile.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

const ChartSeries sweepSeries {QStringLiteral("mean, with min to max"), QColor(0x2f, 0x6f, 0xc0)};

QString si(const std::optional<double> &value, const char *unit)
{
    return value ? Readings::formatSi(*value, QLatin1String(unit)) : QString();
}

QString plain(const std::optional<double> &value, int decimals)
{
    return value ? QLocale::c().toString(*value, 'f', decimals) : QString();
}

QString settingText(const QJsonValue &value)
{
    if (value.isDouble())
        return Numbers::format(value.toDouble());
    if (value.isArray()) {
        QStringList items;
        for (const QJsonValue &item : value.toArray())
            items << settingText(item);
        return items.join(QLatin1Char(','));
    }
    return value.toString();
}

ChartRow chartRowOf(const ResultRow &row)
{
    const ChartMeasure measure {row.mean, row.min, row.max, row.missingCurrent()};
    return {QStringLiteral("%1  %2").arg(row.index).arg(row.mode), {measure}, row.limitMin, row.limitMax,
            row.verdict == QLatin1String("FAIL") ? QStringLiteral("FAIL") : QString(), row.verdict == QLatin1String("FAIL")};
}

QString limitsText(const ResultRow &row)
{
    if (!row.limitMin && !row.limitMax)
        return QString();
    return (row.limitMin ? Readings::formatAmperes(*row.limitMin) : QStringLiteral("…")) + QStringLiteral(" to ")
        + (row.limitMax ? Readings::formatAmperes(*row.limitMax) : QStringLiteral("…"));
}

} // namespace

ReportContext ReportContext::fromFolder(const QString &folder)
{
    ReportContext context;
    QFile file(QDir(folder).filePath(QStringLiteral("results.json")));
    if (!file.open(QIODevice::ReadOnly))
        return context;
    const QJsonObject document = QJsonDocument::fromJson(file.readAll()).object();
    context.settings = document.value(QStringLiteral("settings")).toObject();
    context.meterIdentity = document.value(QStringLiteral("meter_identity")).toString();
    const QJsonValue battery = context.settings.value(QStringLiteral("battery_mah"));
    if (battery.isDouble())
        context.batteryMah = battery.toDouble();
    return context;
}

namespace SweepReport {

QString meanCell(const ResultRow &row)
{
    if (row.mean)
        return Readings::formatAmperes(*row.mean);
    return row.overloads > 0 ? QStringLiteral("overload") : QString();
}

QString batteryLife(double capacityMah, double amperes)
{
    const double hours = capacityMah / (amperes * 1e3);
    if (hours < 48)
        return QLocale::c().toString(hours, 'f', 1) + QStringLiteral(" h");
    const double days = hours / 24;
    if (days < 730)
        return QLocale::c().toString(days, 'f', 0) + QStringLiteral(" days");
    return QLocale::c().toString(days / 365.25, 'f', 1) + QStringLiteral(" years");
}

CurrentChart chart(const QList<ResultRow> &rows)
{
    QList<ChartRow> chartRows;
    for (const ResultRow &row : rows)
        chartRows << chartRowOf(row);
    return CurrentChart(QStringLiteral("Current per power mode"), {sweepSeries}, chartRows);
}

bool write(const QString &folder, const QList<ResultRow> &rows, const ReportContext &context, QString *error)
{
    const CurrentChart chart = SweepReport::chart(rows);
    const QByteArray svg = chart.svg();
    if (!saveAtomically(QDir(folder).filePath(QStringLiteral("chart.svg")), svg, error)
        || !saveAtomically(QDir(folder).filePath(QStringLiteral("chart.png")), chart.png(), error))
        return false;

    HtmlPage page(QStringLiteral("Power modes: %1").arg(QDir(folder).dirName()));
    const QString date = rows.isEmpty() ? QString() : rows.first().startedUtc.left(10);
    QList<QPair<QString, QString>> facts {
        {QStringLiteral("Date"), date},
        {QStringLiteral("Meter"), context.meterIdentity.isEmpty() ? QStringLiteral("not recorded") : context.meterIdentity},
    };
    static const QList<QPair<const char *, const char *>> settingNames = {
        {"port", "Port"}, {"meter", "Meter address"}, {"modes", "Modes"}, {"samples", "Readings per mode"},
        {"settle_s", "Settle time (s)"}, {"range", "Range (A)"}, {"nplc", "Integration (power-line cycles)"},
        {"plan", "Plan"}, {"limits", "Limits"}, {"reset", "Reset"}, {"boot_s", "Boot time (s)"},
        {"supply_v", "Supply (V)"}, {"battery_mah", "Battery (mAh)"},
    };
    for (const auto &setting : settingNames) {
        const QString text = settingText(context.settings.value(QLatin1String(setting.first)));
        if (!text.isEmpty())
            facts << qMakePair(QString::fromLatin1(setting.second), text);
    }
    page.facts(facts);
    page.heading(QStringLiteral("Chart"));
    page.svg(svg);

    QStringList header {"Index", "Mode", "Mean", "Min", "Max", "Std dev", "Readings", "Overloads", "Power", "CoreMark",
                        "CoreMark/mA", "Limits", "Verdict"};
    if (context.batteryMah)
        header << QStringLiteral("Battery life (%1 mAh)").arg(Numbers::format(*context.batteryMah));
    QList<QStringList> cells;
    QList<bool> flagged;
    for (const ResultRow &row : rows) {
        QStringList line {QString::number(row.index), row.mode, meanCell(row), si(row.min, "A"), si(row.max, "A"),
                          si(row.stdev, "A"), QString::number(row.samples), QString::number(row.overloads),
                          si(row.powerW, "W"), plain(row.coremark, 2), plain(row.coremarkPerMa, 2), limitsText(row),
                          row.verdict};
        if (context.batteryMah)
            line << (row.mean && *row.mean > 0 ? batteryLife(*context.batteryMah, *row.mean) : QString());
        cells << line;
        flagged << (row.verdict == QLatin1String("FAIL"));
    }
    page.heading(QStringLiteral("Results"));
    page.table(header, cells, flagged);

    bool anyReply = false;
    for (const ResultRow &row : rows) {
        if (row.boardReply.trimmed().isEmpty())
            continue;
        if (!anyReply)
            page.heading(QStringLiteral("What the board sent"));
        anyReply = true;
        page.preformatted(QStringLiteral("%1 %2").arg(row.index).arg(row.mode), row.boardReply);
    }
    return saveAtomically(QDir(folder).filePath(QStringLiteral("report.html")), page.html(), error);
}

std::optional<QList<ResultRow>> rowsOf(const QString &folder, const ReportContext &context, QStringList *warnings, QString *error)
{
    std::optional<QList<ResultRow>> rows = ResultsFolder::readRows(folder, error);
    if (!rows)
        return std::nullopt;
    const QJsonValue supply = context.settings.value(QStringLiteral("supply_v"));
    for (ResultRow &row : *rows) {
        row.derive(supply.isDouble() ? std::optional<double>(supply.toDouble()) : std::nullopt);
        if (row.mean && row.min && row.max && (*row.mean < *row.min || *row.mean > *row.max)) {
            *warnings << QStringLiteral("mode %1: its mean, %2, lies outside its own min to max, %3 to %4")
                             .arg(row.index).arg(Numbers::format(*row.mean), Numbers::format(*row.min), Numbers::format(*row.max));
        }
    }
    return rows;
}

bool rebuild(const QString &folder, QString *error)
{
    const ReportContext context = ReportContext::fromFolder(folder);
    QStringList warnings;
    const auto rows = rowsOf(folder, context, &warnings, error);
    return rows && write(folder, *rows, context, error);
}

} // namespace SweepReport
