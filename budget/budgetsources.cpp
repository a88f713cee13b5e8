#include "budget/budgetsources.h"

#include "history/history.h"
#include "meter/eventsource.h"
#include "results/resultsfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace {

// The names of a run's event sources, in the order given; its first one's events are in the row's columns.
QStringList eventSourceNames(const QJsonObject &settings)
{
    QStringList names;
    for (const QJsonValue &value : settings.value(QStringLiteral("events")).toArray()) {
        QString ignored;
        for (const EventSource &source : EventSource::parse(value.toString(), &ignored).value_or(QList<EventSource>()))
            names << source.name();
    }
    return names;
}

QString voltagesText(const QList<int> &keys)
{
    QStringList texts;
    for (int key : keys)
        texts << (key == ResultRow::noVoltage ? QStringLiteral("no voltage given") : ResultRow::voltageText(key));
    return texts.join(QLatin1String(", "));
}

} // namespace

namespace BudgetSources {

std::optional<QMap<int, BudgetSource>> fromFolder(const QString &folder, std::optional<int> voltageKey, QString *error)
{
    const std::optional<QList<ResultRow>> rows = ResultsFolder::readRows(folder, error);
    if (!rows)
        return std::nullopt;
    const QList<int> voltages = ResultRow::voltageKeys(*rows);
    if (!voltageKey && voltages.size() > 1) {
        *error = QStringLiteral("%1 holds modes at %2; choose one with --vdd").arg(folder, voltagesText(voltages));
        return std::nullopt;
    }
    const std::optional<QList<EventsFile::Row>> events = ResultsFolder::readEvents(folder, error);
    if (!events)
        return std::nullopt;
    const bool listed = QFileInfo::exists(QDir(folder).filePath(QStringLiteral("events.csv")));
    ResultsFolder results(folder);
    results.load(error);
    const QStringList sources = eventSourceNames(results.recordedSettings());
    const QDateTime started = results.recordedFacts().started;
    const QString origin = QStringLiteral("folder %1%2").arg(QDir(folder).dirName(),
        started.isValid() ? QStringLiteral(" of %1").arg(started.toUTC().toString(QStringLiteral("yyyy-MM-dd"))) : QString());
    QMap<int, BudgetSource> found;
    for (const ResultRow &row : *rows) {
        if (voltageKey && row.voltageKey() != *voltageKey)
            continue;
        found.insert(row.index, BudgetSource {row, EventsFile::of(*events, row.index, row.vddV), listed, sources, origin});
    }
    if (found.isEmpty()) {
        *error = QStringLiteral("%1 holds no mode at %2").arg(folder, ResultRow::voltageText(*voltageKey));
        return std::nullopt;
    }
    return found;
}

std::optional<QMap<int, BudgetSource>> fromHistory(History &history, const RunFilter &filter, const QList<int> &modes,
                                                   std::optional<int> voltageKey, QString *error)
{
    if (!voltageKey) {
        const std::optional<QList<int>> voltages = history.voltagesOf(filter, modes, error);
        if (!voltages)
            return std::nullopt;
        if (voltages->size() > 1) {
            *error = QStringLiteral("the history holds these modes at %1; choose one with --vdd").arg(voltagesText(*voltages));
            return std::nullopt;
        }
    }
    const std::optional<QList<NewestRow>> newest = history.newestRows(filter, modes, voltageKey, error);
    if (!newest)
        return std::nullopt;
    QMap<int, BudgetSource> found;
    for (const NewestRow &one : *newest) {
        BudgetSource source;
        source.row = one.row;
        source.eventSources = eventSourceNames(one.run.settings);
        source.origin = QStringLiteral("run %1 of %2").arg(one.run.facts.runId,
                                                           one.run.facts.started.toUTC().toString(QStringLiteral("yyyy-MM-dd")));
        // Each event and the window's length are in the run's folder, where it is still there.
        QString ignored;
        const QString eventsPath = QDir(one.run.folder).filePath(QStringLiteral("events.csv"));
        const std::optional<QList<ResultRow>> folderRows = ResultsFolder::readRows(one.run.folder, &ignored);
        const std::optional<QList<EventsFile::Row>> events = QFileInfo::exists(eventsPath)
            ? ResultsFolder::readEvents(one.run.folder, &ignored) : std::nullopt;
        if (events && folderRows) {
            for (const ResultRow &row : *folderRows) {
                if (row.samePoint(one.row)) {
                    source.row.windowS = row.windowS;
                    source.row.chargeC = row.chargeC;
                    source.events = EventsFile::of(*events, row.index, row.vddV);
                    source.eventsListed = true;
                }
            }
        }
        found.insert(one.row.index, source);
    }
    return found;
}

} // namespace BudgetSources
