#include "history/baselinecheck.h"

#include "history/history.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

std::optional<double> median(QList<double> values)
{
    if (values.isEmpty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

QString amperes(const std::optional<double> &value)
{
    return Readings::formatAmperes(*value);
}

QString runDescribed(const RunEntry &run)
{
    QStringList about;
    if (!run.facts.firmware.isEmpty())
        about << run.facts.firmware;
    about << run.facts.started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
    return QStringLiteral("run %1 (%2)").arg(run.facts.runId, about.join(QLatin1String(", ")));
}

RunFacts factsOf(const QString &folder)
{
    QFile file(QDir(folder).filePath(QStringLiteral("results.json")));
    return RunFacts::of(file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject());
}

} // namespace

std::optional<BaselineRule> BaselineRule::parse(const QString &text, QString *error)
{
    BaselineRule rule;
    if (text == QLatin1String("last"))
        return rule;
    if (text == QLatin1String("last-pass")) {
        rule.kind = LastPass;
        return rule;
    }
    if (text.startsWith(QLatin1String("median:"))) {
        bool ok = false;
        rule.kind = Median;
        rule.runs = text.mid(7).toInt(&ok);
        if (ok && rule.runs > 0)
            return rule;
        *error = QStringLiteral("--baseline median:N takes a count of runs, such as median:10");
        return std::nullopt;
    }
    if (text.isEmpty() || text.contains(QLatin1Char(':'))) {
        *error = QStringLiteral("--baseline takes last, last-pass, median:N or a run id, not \"%1\"").arg(text);
        return std::nullopt;
    }
    rule.kind = Run;
    rule.runId = text;
    return rule;
}

QString CheckedMode::change() const
{
    if (!baseline || !measured || *baseline <= 0)
        return QString();
    const long percent = std::lround((*measured - *baseline) / *baseline * 100);
    const QString sign = percent < 0 ? QStringLiteral("-") : percent > 0 ? QStringLiteral("+") : QString();
    return QStringLiteral("%1%2 %").arg(sign).arg(std::labs(percent));
}

bool Tolerance::exceededBy(double baseline, double measured) const
{
    return std::abs(measured - baseline) > std::max(floor, share * std::abs(baseline));
}

std::optional<BaselineCheck> BaselineCheck::of(History &history, const QString &folder, const BaselineRule &rule,
                                               const Tolerance &tolerance, QString *error)
{
    const std::optional<QList<ResultRow>> measured = ResultsFolder::readRows(folder, error);
    if (!measured)
        return std::nullopt;
    // The history's record of the folder's run wins: an import may have named its board.
    RunFacts facts = factsOf(folder);
    if (!facts.runId.isEmpty()) {
        QString failure;
        const std::optional<RunEntry> recorded = history.run(facts.runId, &failure);
        if (!failure.isEmpty()) {
            *error = failure;
            return std::nullopt;
        }
        if (recorded)
            facts = recorded->facts;
    }
    if (!facts.started.isValid() && !measured->isEmpty())
        facts.started = QDateTime::fromString(measured->first().startedUtc, Qt::ISODate);

    BaselineCheck check;
    check.board = facts.boardId;
    if (rule.kind == BaselineRule::Run) {
        QString failure;
        const std::optional<RunEntry> chosen = history.run(rule.runId, &failure);
        if (!chosen) {
            *error = failure.isEmpty() ? QStringLiteral("the history at %1 holds no run %2").arg(history.location(), rule.runId)
                                       : failure;
            return std::nullopt;
        }
        check.baselineRuns << rule.runId;
        check.described = runDescribed(*chosen);
    } else {
        const int wanted = rule.kind == BaselineRule::Median ? rule.runs : 1;
        const auto found = history.completedRunsBefore(facts.boardId, facts.started.isValid() ? facts.started
                                                                                              : QDateTime::currentDateTimeUtc(),
                                                       facts.runId, rule.kind == BaselineRule::LastPass, wanted, error);
        if (!found)
            return std::nullopt;
        check.baselineRuns = *found;
        if (rule.kind == BaselineRule::Median) {
            check.described = QStringLiteral("the median of the %1 newest runs").arg(found->size());
        } else if (!found->isEmpty()) {
            const std::optional<RunEntry> chosen = history.run(found->first(), error);
            if (!chosen)
                return std::nullopt;
            check.described = runDescribed(*chosen);
        }
    }
    QList<QList<ResultRow>> baselineRows;
    for (const QString &runId : qAsConst(check.baselineRuns)) {
        const auto rows = history.modeRows(runId, error);
        if (!rows)
            return std::nullopt;
        baselineRows << *rows;
    }
    check.compare(*measured, baselineRows, tolerance);
    return check;
}

void BaselineCheck::compare(const QList<ResultRow> &measuredRows, const QList<QList<ResultRow>> &baselineRows,
                            const Tolerance &tolerance)
{
    // Where runs hold several voltages a mode is checked at each against the same voltage.
    bool byVoltage = ResultRow::severalVoltages(measuredRows);
    for (const QList<ResultRow> &run : baselineRows)
        byVoltage = byVoltage || ResultRow::severalVoltages(run);
    for (const ResultRow &row : measuredRows) {
        CheckedMode mode;
        mode.index = row.index;
        mode.mode = row.modeAt(byVoltage);
        mode.measured = row.mean;
        QList<double> means;
        bool inBaseline = false;
        bool baselineOverloaded = false;
        for (const QList<ResultRow> &run : baselineRows) {
            for (const ResultRow &earlier : run) {
                if (!earlier.samePoint(row, byVoltage))
                    continue;
                inBaseline = true;
                baselineOverloaded = baselineOverloaded || earlier.overloads > 0;
                if (earlier.mean)
                    means << *earlier.mean;
            }
        }
        mode.baseline = median(means);
        const QString versus = mode.baseline ? QStringLiteral(" vs baseline %1").arg(amperes(mode.baseline)) : QString();
        if (row.verdict == QLatin1String("FAIL")) {
            mode.verdict = CheckedMode::Failed;
            mode.reason = row.limitBroken();
        } else if (!inBaseline || !mode.baseline) {
            mode.verdict = CheckedMode::NoBaseline;
            mode.reason = inBaseline ? QStringLiteral("the baseline has no current") : QStringLiteral("no baseline");
        } else if (!row.mean) {
            mode.verdict = CheckedMode::Failed;
            mode.reason = row.missingCurrent() + versus;
        } else if (row.overloads > 0 && !baselineOverloaded) {
            mode.verdict = CheckedMode::Failed;
            mode.reason = QStringLiteral("%1 of %2 readings an overload, none in the baseline (mean %3%4)")
                              .arg(row.overloads).arg(row.samples).arg(amperes(row.mean), versus);
        } else {
            mode.verdict = tolerance.exceededBy(*mode.baseline, *row.mean) ? CheckedMode::Changed : CheckedMode::Unchanged;
            const QString change = mode.change();
            mode.reason = QStringLiteral("mean %1%2").arg(amperes(row.mean), versus)
                + (change.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(change));
        }
        checked << mode;
    }
}

int BaselineCheck::countingModes() const
{
    return int(std::count_if(checked.cbegin(), checked.cend(), [](const CheckedMode &mode) { return mode.counts(); }));
}
