#include "history/baselinecheck.h"

#include "board/powermodes.h"
#include "history/history.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
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

QString runDescribed(const QString &runId, const QString &firmware, const QDateTime &started)
{
    QStringList about;
    if (!firmware.isEmpty())
        about << firmware;
    if (started.isValid())
        about << started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
    return about.isEmpty() ? QStringLiteral("run %1").arg(runId)
                           : QStringLiteral("run %1 (%2)").arg(runId, about.join(QLatin1String(", ")));
}

QJsonObject documentOf(const QString &folder)
{
    QFile file(QDir(folder).filePath(QStringLiteral("results.json")));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

// A point the run was asked for and has no row of.
CheckedMode notMeasured(int index, int voltageKey, int temperatureKey)
{
    CheckedMode mode;
    mode.index = index;
    mode.mode = PowerModes::name(index) + ResultRow::conditionsText(voltageKey, temperatureKey);
    mode.verdict = CheckedMode::Failed;
    mode.reason = QStringLiteral("not measured");
    return mode;
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
    const QJsonObject document = documentOf(folder);
    const QJsonObject settings = document.value(QStringLiteral("settings")).toObject();
    // The history's record of the folder's run wins for who it was: an import
    // may have named its board. How it ended is the folder's to say.
    RunFacts facts = RunFacts::of(document);
    if (!facts.runId.isEmpty()) {
        QString failure;
        const std::optional<RunEntry> recorded = history.run(facts.runId, &failure);
        if (!failure.isEmpty()) {
            *error = failure;
            return std::nullopt;
        }
        if (recorded) {
            const QString outcome = facts.outcome;
            facts = recorded->facts;
            facts.outcome = outcome;
        }
    }
    if (!facts.started.isValid() && !measured->isEmpty())
        facts.started = QDateTime::fromString(measured->first().startedUtc, Qt::ISODate);

    BaselineCheck check;
    check.facts = facts;
    QList<ResultRow> namedRun;
    if (rule.kind == BaselineRule::Run) {
        QString failure;
        const std::optional<RunEntry> chosen = history.run(rule.runId, &failure);
        const auto rows = chosen ? history.modeRows(rule.runId, &failure) : std::nullopt;
        if (!rows) {
            *error = failure.isEmpty() ? QStringLiteral("the history at %1 holds no run %2").arg(history.location(), rule.runId)
                                       : failure;
            return std::nullopt;
        }
        namedRun = *rows;
        check.described = runDescribed(chosen->facts.runId, chosen->facts.firmware, chosen->facts.started);
    }

    QHash<QString, Counterpart> runsUsed;
    const auto checkRow = [&](const ResultRow &row) {
        const auto baseline = check.baselineOf(history, row, rule, namedRun, error);
        if (!baseline)
            return false;
        for (const Counterpart &earlier : *baseline)
            runsUsed.insert(earlier.runId, earlier);
        check.checked << check.compare(row, *baseline, tolerance);
        return true;
    };
    // In the order the run was asked to measure, then any row it was not asked for.
    const QList<QPair<int, int>> asked = ResultsFolder::askedPoints(settings);
    const QJsonValue celsius = settings.value(QStringLiteral("temperature_c"));
    const int temperatureKey = ResultRow::temperatureKeyOf(celsius.isDouble() ? std::optional<double>(celsius.toDouble())
                                                                              : std::nullopt);
    QList<int> checkedRows;
    for (const auto &point : asked) {
        const auto found = std::find_if(measured->cbegin(), measured->cend(), [&point](const ResultRow &row) {
            return row.index == point.first && row.voltageKey() == point.second;
        });
        if (found == measured->cend()) {
            check.checked << notMeasured(point.first, point.second, temperatureKey);
            continue;
        }
        ++check.measuredAsked;
        checkedRows << int(found - measured->cbegin());
        if (!checkRow(*found))
            return std::nullopt;
    }
    for (int i = 0; i < measured->size(); ++i) {
        if (!checkedRows.contains(i) && !checkRow(measured->at(i)))
            return std::nullopt;
    }
    check.asked = asked.isEmpty() ? measured->size() : asked.size();
    if (asked.isEmpty())
        check.measuredAsked = measured->size();

    check.baselineRuns = runsUsed.keys();
    if (rule.kind != BaselineRule::Run && runsUsed.size() == 1) {
        const Counterpart &only = runsUsed.cbegin().value();
        check.described = runDescribed(only.runId, only.firmware, only.started);
    } else if (rule.kind == BaselineRule::Median) {
        check.described = QStringLiteral("the median of up to %1 newest runs holding each point (%2 runs)").arg(rule.runs).arg(runsUsed.size());
    } else if (rule.kind != BaselineRule::Run) {
        check.described = QStringLiteral("the newest run holding each point (%1 runs)").arg(runsUsed.size());
    }
    return check;
}

std::optional<QList<Counterpart>> BaselineCheck::baselineOf(History &history, const ResultRow &row, const BaselineRule &rule,
                                                            const QList<ResultRow> &namedRun, QString *error) const
{
    if (rule.kind == BaselineRule::Run) {
        QList<Counterpart> found;
        for (const ResultRow &earlier : namedRun) {
            if (earlier.samePoint(row))
                found << Counterpart {rule.runId, QDateTime(), QString(), earlier};
        }
        return found;
    }
    if (facts.boardId.isEmpty())
        return QList<Counterpart>();
    const QDateTime before = facts.started.isValid() ? facts.started : QDateTime::currentDateTimeUtc();
    return history.counterparts(facts.boardId, row, before, facts.runId, rule.kind == BaselineRule::LastPass,
                                rule.kind == BaselineRule::Median ? rule.runs : 1, error);
}

CheckedMode BaselineCheck::compare(const ResultRow &row, const QList<Counterpart> &baseline, const Tolerance &tolerance) const
{
    CheckedMode mode;
    mode.index = row.index;
    mode.mode = row.modeAt(true, true);
    mode.measured = row.mean;
    QList<double> means;
    bool baselineOverloaded = false;
    for (const Counterpart &earlier : baseline) {
        baselineOverloaded = baselineOverloaded || earlier.row.overloads > 0;
        if (earlier.row.mean)
            means << *earlier.row.mean;
    }
    mode.baseline = median(means);
    const QString versus = mode.baseline ? QStringLiteral(" vs baseline %1").arg(amperes(mode.baseline)) : QString();
    if (row.failsTheRun()) {
        mode.verdict = CheckedMode::Failed;
        mode.reason = row.verdictReason();
    } else if (baseline.isEmpty() || !mode.baseline) {
        mode.verdict = CheckedMode::NoBaseline;
        mode.reason = baseline.isEmpty() ? QStringLiteral("no baseline") : QStringLiteral("the baseline has no current");
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
    return mode;
}

void BaselineCheck::requireBaselines()
{
    for (CheckedMode &mode : checked) {
        if (mode.verdict == CheckedMode::NoBaseline) {
            mode.verdict = CheckedMode::Failed;
            mode.reason += QStringLiteral(", and a baseline is required");
        }
    }
}

int BaselineCheck::countingModes() const
{
    return int(std::count_if(checked.cbegin(), checked.cend(), [](const CheckedMode &mode) { return mode.counts(); }));
}
