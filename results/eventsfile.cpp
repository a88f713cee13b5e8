#include "results/eventsfile.h"

#include "board/powermodes.h"
#include "meter/readings.h"
#include "results/csv.h"

#include <algorithm>

namespace EventsFile {

const QStringList header = {"index", "vdd_v", "source", "n", "partial", "start_s", "duration_s", "charge_c", "energy_j", "peak_a"};

QStringList fields(int index, const std::optional<double> &vddV, const ModeEvent &event)
{
    using Csv::number;
    return {QString::number(index), number(vddV), event.source, QString::number(event.n), event.partial ? "1" : "0",
            number(event.startS), number(event.durationS), number(event.chargeC),
            number(vddV ? std::optional<double>(event.chargeC * *vddV) : std::nullopt), number(event.peakA)};
}

QVector<ModeEvent> of(const QList<Row> &rows, int index, const std::optional<double> &vddV)
{
    QVector<ModeEvent> events;
    for (const Row &row : rows) {
        if (row.index == index && Csv::number(row.vddV) == Csv::number(vddV))
            events << row.event;
    }
    return events;
}

std::optional<QList<Row>> read(const QString &path, QString *error)
{
    const std::optional<Csv::Table> table = Csv::read(path, header, error);
    if (!table)
        return std::nullopt;
    QList<Row> rows;
    for (int i = 0; i < table->rows.size(); ++i) {
        const QStringList &cells = table->rows.at(i);
        Row row;
        bool ok = false;
        row.index = cells.at(0).toInt(&ok);
        ok = ok && PowerModes::find(row.index);
        const auto number = [&](int column) {
            const std::optional<double> value = ok ? Numbers::parse(cells.at(column)) : std::nullopt;
            ok = ok && value;
            return value.value_or(0);
        };
        if (ok && !cells.at(1).trimmed().isEmpty())
            row.vddV = number(1);
        row.event.source = cells.at(2);
        row.event.n = ok ? cells.at(3).toInt(&ok) : 0;
        ok = ok && (cells.at(4) == QLatin1String("0") || cells.at(4) == QLatin1String("1"));
        row.event.partial = cells.at(4) == QLatin1String("1");
        row.event.startS = number(5);
        row.event.durationS = number(6);
        row.event.chargeC = number(7);
        row.event.peakA = number(9);
        if (!ok || row.event.durationS < 0) {
            *error = QStringLiteral("%1:%2: not an event: %3").arg(path).arg(table->rowLines.at(i)).arg(cells.join(QLatin1Char(',')).left(120));
            return std::nullopt;
        }
        rows << row;
    }
    return rows;
}

QList<Summary> summarize(const QVector<ModeEvent> &events, const std::optional<double> &windowSeconds)
{
    QList<Summary> summaries;
    for (const ModeEvent &event : events) {
        auto found = std::find_if(summaries.begin(), summaries.end(), [&event](const Summary &one) { return one.source == event.source; });
        if (found == summaries.end()) {
            Summary summary;
            summary.source = event.source;
            summaries << summary;
            found = summaries.end() - 1;
        }
        Summary &summary = *found;
        if (event.partial) {
            ++summary.partial;
            continue;
        }
        const bool first = summary.whole == 0;
        summary.durationMin = first ? event.durationS : std::min(summary.durationMin, event.durationS);
        summary.durationMax = first ? event.durationS : std::max(summary.durationMax, event.durationS);
        summary.chargeMin = first ? event.chargeC : std::min(summary.chargeMin, event.chargeC);
        summary.chargeMax = first ? event.chargeC : std::max(summary.chargeMax, event.chargeC);
        // Sums until the end, then means.
        summary.durationMean += event.durationS;
        summary.chargeMean += event.chargeC;
        ++summary.whole;
    }
    for (Summary &summary : summaries) {
        if (summary.whole > 0) {
            summary.durationMean /= summary.whole;
            summary.chargeMean /= summary.whole;
        }
        if (windowSeconds && *windowSeconds > 0)
            summary.rateHz = summary.whole / *windowSeconds;
    }
    return summaries;
}

} // namespace EventsFile
