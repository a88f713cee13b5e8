#include "settings/planfiles.h"

#include "results/atomicfile.h"
#include "results/csv.h"
#include "settings/settingrules.h"

#include <algorithm>

namespace {

const QStringList planHeader = {"index", "range", "nplc", "settle_s", "samples", "entry_check"};
const QStringList olderPlanHeader = {"index", "range", "nplc", "settle_s", "samples"};
const QStringList limitsHeader = {"index", "min_a", "max_a"};

bool save(const QString &path, const QStringList &header, const QList<QStringList> &rows, QString *error)
{
    QByteArray content = Csv::row(header).toUtf8();
    for (const QStringList &row : rows)
        content += Csv::row(row).toUtf8();
    return saveAtomically(path, content, error);
}

// Reads a table keyed by mode index, each mode once; `parse` turns a row's
// other cells into a value and says why a cell is not valid.
template <typename Value, typename Parse>
std::optional<QMap<int, Value>> loadTable(const QString &path, const QList<QStringList> &headers, Parse parse, QString *error)
{
    const std::optional<Csv::Table> table = Csv::read(path, headers, error);
    if (!table)
        return std::nullopt;
    QMap<int, Value> values;
    for (int i = 0; i < table->rows.size(); ++i) {
        const QStringList &cells = table->rows.at(i);
        const QString where = QStringLiteral("%1:%2: ").arg(path).arg(table->rowLines.at(i));
        QString why;
        const std::optional<int> index = SettingRules::parseModeIndex(cells.first(), &why);
        if (!index) {
            *error = where + QStringLiteral("index: ") + why;
            return std::nullopt;
        }
        if (values.contains(*index)) {
            *error = where + QStringLiteral("mode %1 twice").arg(*index);
            return std::nullopt;
        }
        QStringList reasons;
        const Value value = parse(cells.mid(1), &reasons);
        for (const QString &reason : reasons) {
            if (!reason.isEmpty()) {
                *error = where + reason;
                return std::nullopt;
            }
        }
        values.insert(*index, value);
    }
    return values;
}

} // namespace

namespace PlanFiles {

std::optional<QMap<int, PlanRow>> loadPlan(const QString &path, QString *error)
{
    return loadTable<PlanRow>(path, {planHeader, olderPlanHeader}, &PlanRow::parse, error);
}

bool savePlan(const QString &path, const QMap<int, PlanRow> &plan, QString *error)
{
    // The entry_check column only where a mode sets it, so a plan stays as
    // older tools read it.
    const bool entryChecks = std::any_of(plan.cbegin(), plan.cend(), [](const PlanRow &row) { return row.entryCheck.has_value(); });
    QList<QStringList> rows;
    for (auto mode = plan.cbegin(); mode != plan.cend(); ++mode) {
        QStringList cells = mode.value().cells();
        if (!entryChecks)
            cells.removeLast();
        rows << (QStringList {QString::number(mode.key())} + cells);
    }
    return save(path, entryChecks ? planHeader : olderPlanHeader, rows, error);
}

std::optional<QMap<int, Limits>> loadLimits(const QString &path, QString *error)
{
    return loadTable<Limits>(path, {limitsHeader}, &parseLimits, error);
}

bool saveLimits(const QString &path, const QMap<int, Limits> &limits, QString *error)
{
    QList<QStringList> rows;
    for (auto mode = limits.cbegin(); mode != limits.cend(); ++mode)
        rows << (QStringList {QString::number(mode.key())} + limitCells(mode.value()));
    return save(path, limitsHeader, rows, error);
}

} // namespace PlanFiles
