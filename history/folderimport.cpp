#include "history/folderimport.h"

#include "history/history.h"
#include "results/atomicfile.h"
#include "results/csv.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

// How a folder's run ended. Completed only where it says so (or, from
// before outcomes were recorded, says nothing) and every point it was asked
// to measure has a row; one that still says running was killed, since no
// live sweep holds it.
QString outcomeOf(const RunFacts &facts, const QJsonObject &settings, const QList<ResultRow> &rows)
{
    if (facts.outcome == QLatin1String("failed") || facts.outcome == QLatin1String("stopped"))
        return facts.outcome;
    const QList<QPair<int, int>> asked = ResultsFolder::askedPoints(settings);
    const bool whole = std::all_of(asked.cbegin(), asked.cend(), [&rows](const QPair<int, int> &point) {
        return std::any_of(rows.cbegin(), rows.cend(), [&point](const ResultRow &row) {
            return row.index == point.first && row.voltageKey() == point.second;
        });
    });
    return whole && facts.outcome != QLatin1String("running") ? QStringLiteral("completed") : QStringLiteral("stopped");
}

// A row as the history keeps it, each value as results.csv writes it.
QStringList asKept(const ResultRow &row)
{
    return row.fields().mid(0, 15) << Csv::number(row.vddV) << Csv::number(row.supplySetV) << Csv::number(row.temperatureC);
}

const ResultRow *pointIn(const QList<ResultRow> &rows, const ResultRow &point)
{
    const auto found = std::find_if(rows.cbegin(), rows.cend(), [&point](const ResultRow &row) {
        return row.index == point.index && row.voltageKey() == point.voltageKey();
    });
    return found == rows.cend() ? nullptr : &*found;
}

} // namespace

namespace FolderImport {

Result import(History &history, const QString &folder, const ImportOverrides &overrides, QString *said)
{
    if (ResultsFolder::inUse(folder)) {
        *said = QStringLiteral("%1: a sweep is writing to it now; import it when it has ended").arg(folder);
        return Result::Failed;
    }
    QString error;
    const std::optional<QList<ResultRow>> rows = ResultsFolder::readRows(folder, &error);
    if (!rows) {
        *said = error;
        return Result::Failed;
    }
    const QString jsonPath = QDir(folder).filePath(QStringLiteral("results.json"));
    QJsonObject document = readJson(jsonPath);
    RunFacts facts = RunFacts::of(document);
    if (facts.runId.isEmpty()) {
        // The folder is named by its run from now on.
        facts.runId = RunFacts::newRunId();
        document.insert(QStringLiteral("run_id"), facts.runId);
        if (!saveAtomically(jsonPath, QJsonDocument(document).toJson(), &error)) {
            *said = error;
            return Result::Failed;
        }
    }
    const QJsonObject settings = document.value(QStringLiteral("settings")).toObject();
    const QString outcome = outcomeOf(facts, settings, *rows);
    bool known = false;
    int changedRows = 0;
    bool outcomeChanged = false;
    const bool ok = history.inTransaction([&](QString *error) {
        QString failure;
        const std::optional<RunEntry> entry = history.run(facts.runId, &failure);
        const auto stored = entry ? history.modeRows(facts.runId, &failure) : QList<ResultRow>();
        if (!failure.isEmpty() || !stored) {
            *error = failure;
            return false;
        }
        known = entry.has_value();
        QList<ResultRow> differing;
        for (const ResultRow &row : *rows) {
            const ResultRow *kept = pointIn(*stored, row);
            if (!kept || asKept(*kept) != asKept(row))
                differing << row;
        }
        QList<ResultRow> gone;
        for (const ResultRow &row : *stored) {
            if (!pointIn(*rows, row))
                gone << row;
        }
        changedRows = differing.size() + gone.size();
        outcomeChanged = !known || entry->facts.outcome != outcome;
        if (changedRows == 0 && !outcomeChanged)
            return true;
        // Who the run was: as the history knows it (an earlier import may
        // have named its board), else as the folder says; what is given now wins.
        RunFacts imported = known ? entry->facts : facts;
        if (!overrides.boardId.isEmpty())
            imported.boardId = overrides.boardId;
        if (!overrides.firmware.isEmpty())
            imported.firmware = overrides.firmware;
        for (auto tag = overrides.tags.cbegin(); tag != overrides.tags.cend(); ++tag)
            imported.tags.insert(tag.key(), tag.value());
        if (!imported.started.isValid() && !rows->isEmpty())
            imported.started = QDateTime::fromString(rows->first().startedUtc, Qt::ISODate);
        imported.ended = facts.ended.isValid() ? facts.ended : imported.started;
        imported.outcome = outcome;
        const RunEntry run {imported, settings.value(QStringLiteral("port")).toString(), settings,
                            QFileInfo(folder).absoluteFilePath()};
        if (!history.beginRun(run, error))
            return false;
        for (const ResultRow &row : qAsConst(differing)) {
            if (!history.recordMode(imported.runId, row, error))
                return false;
        }
        for (const ResultRow &row : qAsConst(gone)) {
            if (!history.removeMode(imported.runId, row, error))
                return false;
        }
        return history.endRun(imported.runId, outcome, imported.ended, error);
    }, &error);
    if (!ok) {
        *said = error;
        return Result::Failed;
    }
    if (!known) {
        *said = QStringLiteral("%1: imported run %2, %3 modes, %4").arg(folder, facts.runId).arg(rows->size()).arg(outcome);
        return Result::Imported;
    }
    if (changedRows == 0 && !outcomeChanged) {
        *said = QStringLiteral("%1: skipped, run %2 is in the history already, the same in every row").arg(folder, facts.runId);
        return Result::AlreadyThere;
    }
    *said = QStringLiteral("%1: updated run %2: %3 mode%4, %5").arg(folder, facts.runId).arg(changedRows)
                .arg(changedRows == 1 ? "" : "s", outcome);
    return Result::Updated;
}

} // namespace FolderImport
