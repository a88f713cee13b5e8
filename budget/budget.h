#ifndef BUDGET_H
#define BUDGET_H

#include "budget/budgetprofile.h"
#include "meter/modecapture.h"
#include "results/resultrow.h"

#include <QMap>
#include <QVector>

#include <optional>

// What a mode was measured to draw, as a budget takes it: its row, its
// events where they are known (a results folder's events.csv), and where it
// comes from.
struct BudgetSource
{
    ResultRow row;
    QVector<ModeEvent> events;
    bool eventsListed = false;   // `events` is what the run found, not merely none known
    QStringList eventSources;    // the run's event sources, the first one's in the row's columns
    QString origin;              // "sweep-20261208-101500" or "run 5f0c… of 2026-12-08"
};

// One line of a budget: a mode's time in the period, or a mode's events.
struct BudgetRow
{
    int line = 0;                    // of the profile
    int index = 0;
    QString mode;                    // the mode's name, or "NAME events SOURCE"
    bool events = false;
    std::optional<double> vddV;
    std::optional<double> seconds;   // per period; none for events whose durations are not known
    double meanA = 0;                // over its time: the mode's current (between its events, where the profile has them)
    double chargeC = 0;              // per period
    double share = 0;                // of the period's charge
    QString origin;
};

// A product's period costed with the board's measured currents: each
// line's time and charge, the average current, and which line dominates.
struct Budget
{
    double periodSeconds = 0;
    QList<BudgetRow> rows;
    double chargeC = 0;                  // per period
    std::optional<double> volts;         // for power and energy: given, or the one every row was measured at
    QStringList notes;                   // what the figures could not take in

    double averageA() const { return chargeC / periodSeconds; }
    std::optional<double> averageW() const { return volts ? std::optional<double>(averageA() * *volts) : std::nullopt; }
    // The line with the largest share of the charge.
    const BudgetRow &dominant() const;
    // "STOP2 + RTC takes 71 % of the charge; 10 % less there gives 7.6 % more life"
    QString dominance() const;

    // Refused with "PROFILE:LINE: why" (PROFILE as `profileName`) where a
    // line names a mode or events the sources do not have, or the times
    // pass the period.
    static std::optional<Budget> compute(const BudgetProfile &profile, const QMap<int, BudgetSource> &sources,
                                         const std::optional<double> &volts, const QString &profileName, QString *error);

    static const QStringList csvHeader;
    QList<QStringList> csvRows() const;
};

#endif // BUDGET_H
