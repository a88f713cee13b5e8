#ifndef BUDGETSOURCES_H
#define BUDGETSOURCES_H

#include "budget/budget.h"

#include <QMap>
#include <QString>

#include <optional>

class History;
struct RunFilter;

// Where a budget's currents come from: a results folder, or the history's
// newest completed runs of a board. With several voltages the one given is
// taken (in hundredths of a volt); without one, several are refused.
namespace BudgetSources {

std::optional<QMap<int, BudgetSource>> fromFolder(const QString &folder, std::optional<int> voltageKey, QString *error);
std::optional<QMap<int, BudgetSource>> fromHistory(History &history, const RunFilter &filter, const QList<int> &modes,
                                                   std::optional<int> voltageKey, QString *error);

} // namespace BudgetSources

#endif // BUDGETSOURCES_H
