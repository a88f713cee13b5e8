#include "budget/budget.h"

#include "board/powermodes.h"
#include "meter/readings.h"
#include "results/csv.h"
#include "results/eventsfile.h"


#include <algorithm>
#include <cmath>

namespace {

// What a mode's events of one source were measured to be: the mean charge
// and duration of a whole one, and the mode's current between them.
struct EventCost
{
    double chargeC = 0;
    std::optional<double> seconds;
    std::optional<double> betweenA;
};

std::optional<EventCost> eventCost(const BudgetSource &source, const QString &name, QString *why)
{
    const ResultRow &row = source.row;
    EventCost cost;
    if (source.eventsListed) {
        double charge = 0, seconds = 0, allCharge = 0, allSeconds = 0;
        int whole = 0;
        bool seen = false;
        for (const ModeEvent &event : source.events) {
            if (event.source != name)
                continue;
            seen = true;
            allCharge += event.chargeC;
            allSeconds += event.durationS;
            if (event.partial)
                continue;
            charge += event.chargeC;
            seconds += event.durationS;
            ++whole;
        }
        if (!seen && !source.eventSources.contains(name)) {
            *why = QStringLiteral("mode %1 was measured without %2 events (run it with --events %2)").arg(row.index).arg(name);
            return std::nullopt;
        }
        if (whole == 0) {
            *why = QStringLiteral("mode %1 had no whole %2 event in its readings' window").arg(row.index).arg(name);
            return std::nullopt;
        }
        cost.chargeC = charge / whole;
        cost.seconds = seconds / whole;
        if (row.chargeC && row.windowS && *row.windowS > allSeconds)
            cost.betweenA = (*row.chargeC - allCharge) / (*row.windowS - allSeconds);
        return cost;
    }
    // Only the row's columns: its run's first source, without durations.
    if (source.eventSources.value(0) != name || !row.eventChargeC) {
        *why = source.eventSources.value(0) == name
            ? QStringLiteral("mode %1 had no whole %2 event in its readings' window").arg(row.index).arg(name)
            : QStringLiteral("mode %1's run has no %2 events on record (run it with --events %2)").arg(row.index).arg(name);
        return std::nullopt;
    }
    cost.chargeC = *row.eventChargeC;
    cost.betweenA = row.betweenEventsA;
    return cost;
}

} // namespace

const QStringList Budget::csvHeader = {"index", "mode", "vdd_v", "time_per_period_s", "mean_a", "charge_per_period_c", "share"};

std::optional<Budget> Budget::compute(const BudgetProfile &profile, const QMap<int, BudgetSource> &sources,
                                      const std::optional<double> &volts, const QString &profileName, QString *error)
{
    Budget budget;
    budget.periodSeconds = profile.periodSeconds;
    const auto refuse = [&](int line, const QString &why) {
        *error = QStringLiteral("%1:%2: %3").arg(profileName).arg(line).arg(why);
        return std::nullopt;
    };
    // The events first: they set the current of their mode's time.
    QMap<int, EventCost> costs;
    QMap<int, int> eventLineOf;
    for (const BudgetProfile::Line &line : profile.lines) {
        if (line.kind != BudgetProfile::Line::Kind::Event)
            continue;
        if (!sources.contains(line.mode))
            return refuse(line.number, QStringLiteral("mode %1 (%2) was not measured").arg(line.mode).arg(PowerModes::name(line.mode)));
        if (eventLineOf.contains(line.mode)) {
            return refuse(line.number, QStringLiteral("mode %1 has events on line %2 already; its time is costed between one "
                                                      "source's events").arg(line.mode).arg(eventLineOf.value(line.mode)));
        }
        QString why;
        const std::optional<EventCost> cost = eventCost(sources.value(line.mode), line.source, &why);
        if (!cost)
            return refuse(line.number, why);
        costs.insert(line.mode, *cost);
        eventLineOf.insert(line.mode, line.number);
    }
    double taken = 0;
    int restAt = -1;
    for (const BudgetProfile::Line &line : profile.lines) {
        if (!sources.contains(line.mode))
            return refuse(line.number, QStringLiteral("mode %1 (%2) was not measured").arg(line.mode).arg(PowerModes::name(line.mode)));
        const BudgetSource &source = sources.value(line.mode);
        BudgetRow row;
        row.line = line.number;
        row.index = line.mode;
        row.vddV = source.row.vddV;
        row.origin = source.origin;
        if (line.kind == BudgetProfile::Line::Kind::Event) {
            const EventCost &cost = costs.value(line.mode);
            const double count = line.perSecond * profile.periodSeconds;
            row.events = true;
            row.mode = QStringLiteral("%1 events %2").arg(PowerModes::name(line.mode), line.source);
            row.chargeC = count * cost.chargeC;
            if (cost.seconds) {
                row.seconds = count * *cost.seconds;
                row.meanA = *cost.seconds > 0 ? cost.chargeC / *cost.seconds : 0;
            } else {
                budget.notes << QStringLiteral("Mode %1's %2 events: their durations are kept in the run's folder only, which "
                                               "could not be read; their time is not taken from the period.").arg(line.mode).arg(line.source);
            }
        } else {
            row.mode = PowerModes::name(line.mode);
            if (!source.row.mean)
                return refuse(line.number, QStringLiteral("mode %1 has no mean current: %2").arg(line.mode).arg(source.row.missingCurrent()));
            row.meanA = *source.row.mean;
            if (costs.contains(line.mode)) {
                if (!costs.value(line.mode).betweenA) {
                    return refuse(line.number, QStringLiteral("mode %1's current between its events is not known").arg(line.mode));
                }
                row.meanA = *costs.value(line.mode).betweenA;
            }
            if (line.kind == BudgetProfile::Line::Kind::Rest)
                restAt = budget.rows.size();
            else
                row.seconds = profile.secondsOf(line);
        }
        taken += row.seconds.value_or(0);
        if (taken > profile.periodSeconds * (1 + 1e-12)) {
            return refuse(line.number, QStringLiteral("the times so far add up to %1 s, more than the period of %2 s")
                                           .arg(Numbers::format(taken), Numbers::format(profile.periodSeconds)));
        }
        budget.rows << row;
    }
    if (restAt >= 0)
        budget.rows[restAt].seconds = std::max(0.0, profile.periodSeconds - taken);
    for (BudgetRow &row : budget.rows) {
        if (!row.events)
            row.chargeC = row.meanA * row.seconds.value_or(0);
        budget.chargeC += row.chargeC;
    }
    for (BudgetRow &row : budget.rows)
        row.share = budget.chargeC > 0 ? row.chargeC / budget.chargeC : 0;
    // Power and energy at the voltage given, or the one every mode was measured at.
    budget.volts = volts;
    if (!budget.volts && !budget.rows.isEmpty()) {
        const std::optional<double> first = budget.rows.first().vddV;
        const bool same = std::all_of(budget.rows.cbegin(), budget.rows.cend(),
                                      [&first](const BudgetRow &row) { return Csv::number(row.vddV) == Csv::number(first); });
        if (same)
            budget.volts = first;
    }
    if (budget.rows.isEmpty()) {
        *error = QStringLiteral("%1: no mode in the profile").arg(profileName);
        return std::nullopt;
    }
    return budget;
}

const BudgetRow &Budget::dominant() const
{
    return *std::max_element(rows.cbegin(), rows.cend(), [](const BudgetRow &a, const BudgetRow &b) { return a.share < b.share; });
}

QString Budget::dominance() const
{
    const BudgetRow &top = dominant();
    // A tenth less charge in that line: the average falls by a tenth of its share.
    const double longer = 1 / (1 - 0.1 * top.share) - 1;
    return QStringLiteral("%1 takes %2 of the charge; 10 % less there gives %3 more life")
        .arg(top.mode, Readings::formatShare(top.share), Readings::formatShare(longer));
}

QList<QStringList> Budget::csvRows() const
{
    using Csv::number;
    QList<QStringList> lines;
    for (const BudgetRow &row : rows) {
        lines << QStringList {QString::number(row.index), row.mode, number(row.vddV), number(row.seconds),
                              row.seconds || !row.events ? number(row.meanA) : QString(), number(row.chargeC), number(row.share)};
    }
    lines << QStringList {QString(), QStringLiteral("average"), number(volts), number(periodSeconds), number(averageA()),
                          number(chargeC), number(1.0)};
    return lines;
}
