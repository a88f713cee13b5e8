#ifndef PLANFILES_H
#define PLANFILES_H

#include "settings/sweepsettings.h"

#include <QMap>
#include <QString>

#include <optional>

// The plan and limits files that the command line reads and the window reads
// and writes. Errors name the file, the line (the header is line 1) and the cell.
namespace PlanFiles {

// index,range,nplc,settle_s,samples; an empty cell keeps the default.
std::optional<QMap<int, PlanRow>> loadPlan(const QString &path, QString *error);
bool savePlan(const QString &path, const QMap<int, PlanRow> &plan, QString *error);

// index,min_a,max_a; either bound may be empty.
std::optional<QMap<int, Limits>> loadLimits(const QString &path, QString *error);
bool saveLimits(const QString &path, const QMap<int, Limits> &limits, QString *error);

} // namespace PlanFiles

#endif // PLANFILES_H
