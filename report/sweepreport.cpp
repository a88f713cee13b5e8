#include "report/sweepreport.h"

#include "report/currentchart.h"
#include "report/htmlpage.h"
#include "report/waveformchart.h"
#include "results/atomicfile.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

#include <algorithm>

namespace {

const ChartSeries sweepSeries {QStringLiteral("mean, with min to max"), QColor(0x2f, 0x6f, 0xc0)};
// A colour per supply voltage where a sweep ran at several, lowest voltage first.
const QList<QColor> voltageColours {QColor(0x2f, 0x6f, 0xc0), QColor(0xd0, 0x70, 0x1c), QColor(0x2e, 0x8b, 0x57),
                                    QColor(0x8e, 0x44, 0xad), QColor(0xb0, 0x3a, 0x2e), QColor(0x17, 0x8f, 0x9c)};

// Between a value and its unit in the report, so that a table never wraps them apart.
const QChar noBreak(0x00a0);

QString si(const std::optional<double> &value, const char *unit)
{
    return value ? Readings::formatSi(*value, QLatin1String(unit), noBreak) : QString();
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

// A mode's row: a mark per voltage, in the order of `voltages` (one, with no
// voltage told apart, for a sweep at one supply).
ChartRow chartRowOf(const QList<const ResultRow *> &points, const QList<int> &voltages)
{
    const ResultRow &first = *points.first();
    ChartRow chartRow {QStringLiteral("%1  %2").arg(first.index).arg(first.mode), {}, first.limitMin, first.limitMax, {}, false};
    QStringList notes;
    for (int voltage : voltages) {
        const auto at = std::find_if(points.cbegin(), points.cend(),
                                     [&](const ResultRow *row) { return voltages.size() == 1 || row->voltageKey() == voltage; });
        if (at == points.cend()) {
            chartRow.measures << ChartMeasure {{}, {}, {}, QStringLiteral("not measured at %1").arg(ResultRow::voltageText(voltage))};
            continue;
        }
        const ResultRow &row = **at;
        chartRow.measures << ChartMeasure {row.mean, row.min, row.max, row.missingCurrent()};
        const bool failed = row.failsTheRun();
        chartRow.flagged = chartRow.flagged || failed;
        notes << SweepReport::meanCell(row) + (failed ? QLatin1Char(' ') + row.verdict : QString());
    }
    chartRow.note = notes.join(QStringLiteral(" · "));
    return chartRow;
}

// The voltages a sweep ran at, lowest first; a single entry where it ran at one.
QList<int> chartVoltages(const QList<ResultRow> &rows)
{
    QList<int> voltages = ResultRow::voltageKeys(rows);
    std::sort(voltages.begin(), voltages.end());
    return voltages.size() > 1 ? voltages : QList<int> {ResultRow::noVoltage};
}

// Each mode's waveform where a fast meter recorded one, in the rows' order, its events shaded.
void addWaveforms(HtmlPage &page, const QString &folder, const QList<ResultRow> &rows, const QList<EventsFile::Row> &events)
{
    QString error;
    const std::optional<QList<ModeTrace>> traces = ResultsFolder::readTraces(folder, &error);
    if (!traces || traces->isEmpty())
        return;
    page.heading(QStringLiteral("Waveforms"));
    const bool severalVoltages = ResultRow::severalVoltages(rows);
    for (const ResultRow &row : rows) {
        const auto trace = std::find_if(traces->cbegin(), traces->cend(), [&row](const ModeTrace &one) { return one.belongsTo(row); });
        if (trace == traces->cend())
            continue;
        const double readingsFrom = row.settings ? row.settings->settleSeconds : 0;
        const WaveformChart chart(row.pointName(severalVoltages), trace->bins, trace->binSeconds, readingsFrom, 0,
                                  EventsFile::of(events, row.index, row.vddV));
        page.figure(chart.svg(QSize(Chart::width, WaveformChart::fileHeight)));
    }
}

// "1.23 µC (1.20 to 1.31 µC)": a mean with its least and most, units kept.
QString spreadCell(double mean, double least, double most, const char *unit)
{
    return QStringLiteral("%1 (%2 to %3)").arg(si(mean, unit), si(least, unit), si(most, unit));
}

// Per mode and source: how many events, how often, how long and how much
// charge each; partial ones, cut by the window's edge, counted apart.
void addEvents(HtmlPage &page, const QList<ResultRow> &rows, const QList<EventsFile::Row> &events, bool asked)
{
    const bool severalVoltages = ResultRow::severalVoltages(rows);
    QList<QStringList> cells;
    for (const ResultRow &row : rows) {
        const QVector<ModeEvent> mine = EventsFile::of(events, row.index, row.vddV);
        for (const EventsFile::Summary &summary : EventsFile::summarize(mine, row.windowS)) {
            const bool any = summary.whole > 0;
            cells << QStringList {row.pointName(severalVoltages), summary.source, QString::number(summary.whole),
                                  QString::number(summary.partial), summary.rateHz ? si(summary.rateHz, "Hz") : QString(),
                                  any ? spreadCell(summary.durationMean, summary.durationMin, summary.durationMax, "s") : QString(),
                                  any ? spreadCell(summary.chargeMean, summary.chargeMin, summary.chargeMax, "C") : QString(),
                                  summary.source == row.eventSource ? si(row.betweenEventsA, "A") : QString()};
        }
    }
    if (cells.isEmpty() && !asked)
        return;
    page.heading(QStringLiteral("Events"));
    if (cells.isEmpty()) {
        page.notes({QStringLiteral("No event was found in any mode's readings.")});
        return;
    }
    page.table({"Mode", "Source", "Events", "Partial", "Rate", "Duration, mean (least to most)", "Charge, mean (least to most)",
                "Current between events"},
               cells, {});
    page.notes({QStringLiteral("Whole events only: one cut by the start or end of the readings' window is partial, counted "
                               "apart and left out of the rate, durations and charges. The current between events is the "
                               "window's charge without its events over the window's time without them (of the first source).")});
}

QString vddCell(const std::optional<double> &volts)
{
    return volts ? QLocale::c().toString(*volts, 'f', 2) + noBreak + QLatin1Char('V') : QString();
}

// As the operator gave it: the temperature is recorded, not measured.
QString temperatureCell(const std::optional<double> &celsius)
{
    return celsius ? Numbers::format(*celsius) + noBreak + QStringLiteral("°C") : QString();
}

QString limitsText(const ResultRow &row)
{
    if (!row.limitMin && !row.limitMax)
        return QString();
    return (row.limitMin ? Readings::formatAmperes(*row.limitMin, noBreak) : QStringLiteral("…")) + QStringLiteral(" to ")
        + (row.limitMax ? Readings::formatAmperes(*row.limitMax, noBreak) : QStringLiteral("…"));
}

// "2026-12-07 10:00:00 UTC (11:00:00 local, UTC+01:00)"
QString timeText(const QDateTime &utc, int offsetSeconds)
{
    if (!utc.isValid())
        return QString();
    const QDateTime local = utc.toOffsetFromUtc(offsetSeconds);
    return QStringLiteral("%1 UTC (%2 local, %3)").arg(utc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                                        local.toString(QStringLiteral("HH:mm:ss")),
                                                        offsetSeconds == 0 ? QStringLiteral("UTC") : local.timeZoneAbbreviation());
}

// "1 h 02 min", "12 min 30 s", "45 s"
QString durationText(const QDateTime &from, const QDateTime &to)
{
    if (!from.isValid() || !to.isValid())
        return QString();
    const qint64 seconds = std::max<qint64>(0, from.secsTo(to));
    if (seconds >= 3600)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'));
    if (seconds >= 60)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 s").arg(seconds);
}

// When, where and by whom, then the settings: a plan or the table may set
// each mode's own, which the results table gives.
QList<QPair<QString, QString>> factsOf(const ReportContext &context)
{
    const RunFacts &facts = context.facts;
    QString port = context.settings.value(QStringLiteral("port")).toString();
    if (!facts.boardSerial.isEmpty())
        port += QStringLiteral(", USB serial number %1").arg(facts.boardSerial);
    // What the run is about first: which board, which firmware, which run.
    QList<QPair<QString, QString>> shown = SweepReport::identityOf(facts);
    shown += {
        {QStringLiteral("Started"), timeText(facts.started, facts.utcOffsetSeconds)},
        {QStringLiteral("Ended"), timeText(facts.ended, facts.utcOffsetSeconds)},
        {QStringLiteral("Duration"), durationText(facts.started, facts.ended)},
        {QStringLiteral("Host"), facts.host},
        {QStringLiteral("Board's port"), port},
        {QStringLiteral("Meter"), facts.meterIdentity.isEmpty() ? QStringLiteral("not recorded") : facts.meterIdentity},
        {QStringLiteral("Supply unit"), facts.supplyIdentity},
        {QStringLiteral("Meter note"), facts.meterNote},
        {QStringLiteral("Note"), facts.note},
    };
    static const QList<QPair<const char *, const char *>> settingNames = {
        {"meter", "Meter address"}, {"meter_profile", "Meter profile"}, {"modes", "Modes"},
        {"samples", "Readings per mode (default)"}, {"settle_s", "Settle time, s (default)"}, {"range", "Range, A (default)"},
        {"nplc", "Integration, power-line cycles (default)"}, {"plan", "Plan"}, {"limits", "Limits"}, {"reset", "Reset"},
        {"boot_s", "Boot time, s"}, {"supply_v", "Supply, V"}, {"supply_unit", "Supply unit address"},
        {"supply_profile", "Supply profile"}, {"supply_voltages", "Supply voltages, V"},
        {"current_limit_a", "Current limit, A"}, {"off_time_s", "Power off time, s"}, {"temperature_c", "Temperature, °C (as given)"},
        {"battery_mah", "Battery, mAh"}, {"events", "Events"},
    };
    for (const auto &setting : settingNames)
        shown << qMakePair(QString::fromUtf8(setting.second), settingText(context.settings.value(QLatin1String(setting.first))));
    if (context.batteryMah)
        shown << qMakePair(QStringLiteral("Battery shelf life, years"), Numbers::format(context.shelfYears));
    QList<QPair<QString, QString>> given;
    for (const auto &fact : shown) {
        if (!fact.second.isEmpty())
            given << fact;
    }
    return given;
}

// Why each amber or red verdict is what it is, once under the table.
QStringList verdictNotes(const QList<ResultRow> &rows)
{
    const bool withVoltage = ResultRow::severalVoltages(rows);
    QStringList notes;
    bool doubtful = false;
    for (const ResultRow &row : rows) {
        if (!row.failsTheRun())
            continue;
        doubtful = doubtful || row.mark() == RowMark::Doubtful;
        notes << QStringLiteral("%1, %2: %3").arg(row.pointName(withVoltage), row.verdict, row.verdictReason());
    }
    if (doubtful) {
        notes.prepend(QStringLiteral(
            "ENTRY? marks a mode whose current did not change after its command: its mean lies within three standard "
            "deviations of its readings, or 2 %, of a reading taken just before the command, so the board most likely "
            "did not take it (was it reset?). Where a mode's current is meant to equal the board's idle current, turn the "
            "check off for that mode (entry_check off in the plan) or for the run (--entry-check off)."));
    }
    return notes;
}

// When a fast meter saw the mode settle: from the command, "0 s" where it
// never left its mean; said in words where it did not settle in time.
QString settledCell(const ResultRow &row)
{
    if (!row.lostSamples)
        return QString();
    if (!row.settledAfterS)
        return QStringLiteral("not settled within the window");
    return *row.settledAfterS == 0 ? QStringLiteral("0%1s").arg(noBreak) : si(row.settledAfterS, "s");
}

// A mode's range and NPLC as it was measured; a folder from before rows
// recorded them has only the defaults.
QStringList rowSettingsCells(const ResultRow &row, const QJsonObject &settings)
{
    if (row.settings) {
        return {row.settings->range ? Readings::formatAmperes(*row.settings->range, noBreak) : QStringLiteral("auto"),
                Numbers::format(row.settings->nplc)};
    }
    const QJsonValue range = settings.value(QStringLiteral("range"));
    const QJsonValue nplc = settings.value(QStringLiteral("nplc"));
    return {range.isDouble() ? Readings::formatAmperes(range.toDouble(), noBreak) : range.toString(),
            nplc.isDouble() ? Numbers::format(nplc.toDouble()) : QString()};
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
    context.facts = RunFacts::of(document);
    const QJsonValue battery = context.settings.value(QStringLiteral("battery_mah"));
    if (battery.isDouble())
        context.batteryMah = battery.toDouble();
    context.shelfYears = context.settings.value(QStringLiteral("battery_shelf_years")).toDouble(context.shelfYears);
    return context;
}

namespace SweepReport {

QList<QPair<QString, QString>> identityOf(const RunFacts &facts)
{
    QStringList tags;
    for (auto tag = facts.tags.cbegin(); tag != facts.tags.cend(); ++tag)
        tags << tag.key() + QLatin1Char('=') + tag.value();
    const QList<QPair<QString, QString>> all {
        {QStringLiteral("Board"), facts.boardId},
        {QStringLiteral("Firmware"), facts.firmware},
        {QStringLiteral("Tags"), tags.join(QLatin1String(", "))},
        {QStringLiteral("Run"), facts.runId},
    };
    QList<QPair<QString, QString>> given;
    std::copy_if(all.cbegin(), all.cend(), std::back_inserter(given), [](const auto &fact) { return !fact.second.isEmpty(); });
    return given;
}

QString identityText(const RunFacts &facts)
{
    QStringList parts;
    for (const auto &fact : identityOf(facts))
        parts << fact.first.toLower() + QLatin1Char(' ') + fact.second;
    return parts.join(QLatin1String(", "));
}

QString chartTitle(const QString &title, const RunFacts &facts)
{
    QStringList about;
    if (!facts.boardId.isEmpty())
        about << QStringLiteral("board %1").arg(facts.boardId);
    if (!facts.firmware.isEmpty())
        about << QStringLiteral("firmware %1").arg(facts.firmware);
    return about.isEmpty() ? title : title + QStringLiteral(": ") + about.join(QLatin1String(", "));
}

QString meanCell(const ResultRow &row, QChar separator)
{
    if (row.mean)
        return Readings::formatAmperes(*row.mean, separator);
    return row.overloads > 0 ? QStringLiteral("overload") : QString();
}

QString batteryLife(double capacityMah, double amperes, double shelfYears, QChar separator, Room room)
{
    const double hours = capacityMah / (amperes * 1e3);
    const double years = hours / (24 * 365.25);
    if (years > shelfYears) {
        return QStringLiteral(">%1%2%3years").arg(separator, Numbers::format(shelfYears), separator)
            + (room == Room::Ample ? QStringLiteral(" (shelf life)") : QString());
    }
    if (years >= 1)
        return Readings::threeDigits(years) + separator + QStringLiteral("years");
    if (hours >= 24)
        return Readings::threeDigits(hours / 24) + separator + QStringLiteral("days");
    return Readings::threeDigits(hours) + separator + QStringLiteral("hours");
}

CurrentChart chart(const QList<ResultRow> &rows, const RunFacts &facts)
{
    const QList<int> voltages = chartVoltages(rows);
    QList<int> modeOrder;
    QMap<int, QList<const ResultRow *>> pointsOfMode;
    for (const ResultRow &row : rows) {
        if (!pointsOfMode.contains(row.index))
            modeOrder << row.index;
        pointsOfMode[row.index] << &row;
    }
    QList<ChartRow> chartRows;
    for (int index : qAsConst(modeOrder))
        chartRows << chartRowOf(pointsOfMode.value(index), voltages);
    QList<ChartSeries> series {sweepSeries};
    if (voltages.size() > 1) {
        series.clear();
        for (int i = 0; i < voltages.size(); ++i)
            series << ChartSeries {QStringLiteral("at %1").arg(ResultRow::voltageText(voltages.at(i))),
                                   voltageColours.at(i % voltageColours.size())};
    }
    return CurrentChart(chartTitle(QStringLiteral("Current per power mode"), facts), series, chartRows);
}

bool write(const QString &folder, const QList<ResultRow> &rows, const ReportContext &context, QString *error)
{
    // A damaged events.csv is no run without events.
    const std::optional<QList<EventsFile::Row>> events = ResultsFolder::readEvents(folder, error);
    if (!events)
        return false;
    const CurrentChart chart = SweepReport::chart(rows, context.facts);
    const QByteArray svg = chart.svg();
    if (!saveAtomically(QDir(folder).filePath(QStringLiteral("chart.svg")), svg, error)
        || !saveAtomically(QDir(folder).filePath(QStringLiteral("chart.png")), chart.png(), error))
        return false;

    // The chart first: printed, it fills page 1, and the facts and the table follow.
    HtmlPage page(QStringLiteral("Power modes: %1").arg(QDir(folder).dirName()));
    page.chart(svg);
    page.facts(factsOf(context));

    // The conditions' columns where they tell rows apart: a supply unit's
    // readbacks, or several voltages or temperatures; one value given for
    // all is in the settings above.
    const bool anyVdd = ResultRow::severalVoltages(rows)
        || std::any_of(rows.cbegin(), rows.cend(), [](const ResultRow &row) { return bool(row.supplySetV); });
    const bool anyTemperature = std::any_of(rows.cbegin(), rows.cend(), [&rows](const ResultRow &row) {
        return row.temperatureC != rows.first().temperatureC;
    });
    const bool captured = std::any_of(rows.cbegin(), rows.cend(), [](const ResultRow &row) { return bool(row.lostSamples); });
    const bool severalVoltages = ResultRow::severalVoltages(rows);
    QStringList header {"Index", "Mode"};
    if (anyVdd)
        header << QStringLiteral("Vdd");
    if (anyTemperature)
        header << QStringLiteral("Temp.");
    header += QStringList {"Range", "NPLC", "Mean", "Min", "Max", "Std dev", "Readings", "Overloads", "Power",
                        "CoreMark", "CoreMark/mA", "Limits", "Verdict"};
    if (captured)
        header += QStringList {"Peak", "Charge", "Energy", "Settled after", "Lost samples"};
    if (context.batteryMah)
        header << QStringLiteral("Battery life (%1%2mAh)").arg(Numbers::format(*context.batteryMah)).arg(noBreak);
    QList<QStringList> cells;
    QList<RowMark> marks;
    for (const ResultRow &row : rows) {
        QStringList line {QString::number(row.index), row.mode};
        if (anyVdd)
            line << vddCell(row.vddV);
        if (anyTemperature)
            line << temperatureCell(row.temperatureC);
        line += rowSettingsCells(row, context.settings);
        line << meanCell(row, noBreak) << si(row.min, "A") << si(row.max, "A") << si(row.stdev, "A")
             << QString::number(row.samples) << QString::number(row.overloads) << si(row.powerW, "W") << plain(row.coremark, 2)
             << plain(row.coremarkPerMa, 2) << limitsText(row) << row.verdict;
        if (captured)
            line << si(row.peakA, "A") << si(row.chargeC, "C") << si(row.energyJ, "J") << settledCell(row)
                 << (row.lostSamples ? QString::number(*row.lostSamples) : QString());
        if (context.batteryMah)
            line << (row.mean && *row.mean > 0 ? batteryLife(*context.batteryMah, *row.mean, context.shelfYears, noBreak) : QString());
        cells << line;
        marks << row.mark();
    }
    page.heading(QStringLiteral("Results"));
    page.table(header, cells, marks);
    page.notes(verdictNotes(rows));
    QStringList lostNotes;
    for (const ResultRow &row : rows) {
        if (row.lostSamples && *row.lostSamples > 0)
            lostNotes << QStringLiteral("%1: %2 samples lost").arg(row.pointName(severalVoltages)).arg(*row.lostSamples);
    }
    page.notes(lostNotes);
    addEvents(page, rows, *events, !context.settings.value(QStringLiteral("events")).toArray().isEmpty());
    addWaveforms(page, folder, rows, *events);

    bool anyReply = false;
    for (const ResultRow &row : rows) {
        if (row.boardReply.trimmed().isEmpty())
            continue;
        if (!anyReply)
            page.heading(QStringLiteral("What the board sent"));
        anyReply = true;
        page.preformatted(row.pointName(severalVoltages), row.boardReply);
    }
    return saveAtomically(QDir(folder).filePath(QStringLiteral("report.html")), page.html(), error);
}

std::optional<QList<ResultRow>> rowsOf(const QString &folder, const ReportContext &context, QStringList *warnings, QString *error)
{
    std::optional<QList<ResultRow>> rows = ResultsFolder::readRows(folder, error);
    if (!rows)
        return std::nullopt;
    // Power at the row's own voltage; a folder from before the supply's
    // column has only the one its settings recorded.
    const QJsonValue supply = context.settings.value(QStringLiteral("supply_v"));
    for (ResultRow &row : *rows) {
        row.derive(row.vddV ? row.vddV : supply.isDouble() ? std::optional<double>(supply.toDouble()) : std::nullopt);
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
