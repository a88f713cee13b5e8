#ifndef BUDGETREPORT_H
#define BUDGETREPORT_H

#include "budget/budget.h"

#include <QString>

#include <optional>

// A battery for a budget's life: its capacity, the share of it a product
// can use, and how long it keeps its charge on the shelf.
struct BudgetBattery
{
    double capacityMah = 0;
    double derate = 0.8;
    double shelfYears = 10;
};

// budget.csv, budget.svg and budget.png (each line's share of the charge),
// and budget.html with the average current and power, the battery life,
// where each current comes from and which line dominates.
namespace BudgetReport {

QByteArray csv(const Budget &budget);
// "2.40 years" for the battery, derated and capped by its shelf life.
QString life(const Budget &budget, const BudgetBattery &battery);
bool write(const QString &folder, const Budget &budget, const QString &profileText, const std::optional<BudgetBattery> &battery,
           QString *error);

} // namespace BudgetReport

#endif // BUDGETREPORT_H
