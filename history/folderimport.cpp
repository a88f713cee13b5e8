#include "history/folderimport.h"

#include "history/history.h"
#include "results/atomicfile.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

// How a folder's run ended: as it recorded, or, where it did not (a folder
// from before, or a sweep killed outright), by whether it holds every mode
// it was to measure.
QString outcomeOf(const RunFacts &facts, const QJsonObject &settings, const QList<ResultRow> &rows)
{
    if (!facts.outcome.isEmpty() && facts.outcome != QLatin1String("running"))
        return facts.outcome;
    QList<int> held;
    for (const ResultRow &row : rows)
        held << row.index;
    for (const QJsonValue &mode : settings.value(QStringLiteral("modes")).toArray()) {
        if (!held.contains(mode.toInt()))
            return QStringLiteral("stopped");
    }
    return QStringLiteral("completed");
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
    bool complete = false;
    const bool ok = history.inTransaction([&](QString *error) {
        QString failure;
        const std::optional<RunEntry> entry = history.run(facts.runId, &failure);
        if (!failure.isEmpty()) {
            *error = failure;
            return false;
        }
        known = entry.has_value();
        complete = known && entry->facts.outcome == outcome && entry->modes == rows->size();
        if (complete)
            return true;
        RunFacts imported = facts;
        if (!overrides.boardId.isEmpty())
            imported.boardId = overrides.boardId;
        if (!overrides.firmware.isEmpty())
            imported.firmware = overrides.firmware;
        for (auto tag = overrides.tags.cbegin(); tag != overrides.tags.cend(); ++tag)
            imported.tags.insert(tag.key(), tag.value());
        if (!imported.started.isValid() && !rows->isEmpty())
            imported.started = QDateTime::fromString(rows->first().startedUtc, Qt::ISODate);
        if (!imported.ended.isValid())
            imported.ended = imported.started;
        imported.outcome = outcome;
        const RunEntry run {imported, settings.value(QStringLiteral("port")).toString(), settings,
                            QFileInfo(folder).absoluteFilePath()};
        if (!history.beginRun(run, error))
            return false;
        for (const ResultRow &row : *rows) {
            if (!history.recordMode(imported.runId, row, error))
                return false;
        }
        return history.endRun(imported.runId, outcome, imported.ended, error);
    }, &error);
    if (!ok) {
        *said = error;
        return Result::Failed;
    }
    if (complete) {
        *said = QStringLiteral("%1: skipped, run %2 is in the history already").arg(folder, facts.runId);
        return Result::AlreadyThere;
    }
    *said = QStringLiteral("%1: %2 run %3, %4 modes, %5")
                .arg(folder, known ? QStringLiteral("completed") : QStringLiteral("imported"), facts.runId)
                .arg(rows->size()).arg(outcome);
    return known ? Result::Completed : Result::Imported;
}

} // namespace FolderImport
