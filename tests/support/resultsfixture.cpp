#include "tests/support/resultsfixture.h"

#include "history/history.h"
#include "results/resultsfolder.h"

#include <QFile>

namespace ResultsFixture {

ResultRow row(int index, std::optional<double> mean, int overloads, const QString &verdict)
{
    ResultRow made;
    made.index = index;
    made.mode = QStringLiteral("mode %1").arg(index);
    made.startedUtc = QStringLiteral("2026-12-01T10:00:00.000Z");
    made.samples = 10;
    made.mean = mean;
    made.overloads = overloads;
    made.verdict = verdict;
    return made;
}

ResultRow rowAt(int index, double mean, double volts, double celsius)
{
    ResultRow made = row(index, mean);
    if (!qIsNaN(volts)) {
        made.supplySetV = volts;
        made.vddV = volts * 1.001;
    }
    if (!qIsNaN(celsius))
        made.temperatureC = celsius;
    return made;
}

bool writeFolder(const QString &path, const QString &boardId, const QDateTime &started, const QList<ResultRow> &rows,
                 const QString &runId, QString *error)
{
    RunFacts facts;
    facts.runId = runId;
    facts.boardId = boardId;
    facts.started = started;
    facts.outcome = QStringLiteral("completed");
    return writeFolder(path, facts, QJsonObject(), rows, error);
}

bool writeFolder(const QString &path, const RunFacts &facts, const QJsonObject &settings, const QList<ResultRow> &rows,
                 QString *error)
{
    return writeFolder(path, facts, settings, rows, {}, error);
}

bool writeFolder(const QString &path, const RunFacts &facts, const QJsonObject &settings, const QList<ResultRow> &rows,
                 const QMap<int, QVector<ModeEvent>> &events, QString *error)
{
    ResultsFolder folder(path);
    if (!folder.claim(error))
        return false;
    for (const ResultRow &one : rows) {
        QList<Sample> samples;
        for (int i = 0; i < one.samples; ++i)
            samples << Sample {0.1 * i, Reading {one.mean.value_or(9.9e37), !one.mean, 0}};
        // A capture of no bins, for its events alone.
        ModeCapture capture;
        capture.binsPath = folder.tracePartPath();
        QFile bins(capture.binsPath);
        if (!bins.open(QIODevice::WriteOnly))
            return false;
        bins.close();
        capture.events = events.value(one.index);
        if (!folder.commit(one, samples, settings, facts, error, events.contains(one.index) ? &capture : nullptr))
            return false;
    }
    folder.release();
    return true;
}

QString recordRun(History &history, const QString &boardId, const QDateTime &started, const QString &outcome,
                  const QList<ResultRow> &rows)
{
    RunEntry entry;
    entry.facts.runId = RunFacts::newRunId();
    entry.facts.boardId = boardId;
    entry.facts.started = started;
    entry.facts.outcome = outcome;
    QString error;
    bool ok = history.beginRun(entry, &error);
    for (const ResultRow &one : rows)
        ok = ok && history.recordMode(entry.facts.runId, one, &error);
    ok = ok && history.endRun(entry.facts.runId, outcome, started.addSecs(60), &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return entry.facts.runId;
}

QDateTime day(int number)
{
    return QDateTime(QDate(2026, 12, number), QTime(10, 0), Qt::UTC);
}

} // namespace ResultsFixture
