#include "tests/support/resultsfixture.h"

#include "results/resultsfolder.h"

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

bool writeFolder(const QString &path, const QString &boardId, const QDateTime &started, const QList<ResultRow> &rows,
                 const QString &runId, QString *error)
{
    ResultsFolder folder(path);
    if (!folder.claim(error))
        return false;
    RunFacts facts;
    facts.runId = runId;
    facts.boardId = boardId;
    facts.started = started;
    facts.outcome = QStringLiteral("completed");
    for (const ResultRow &one : rows) {
        QList<Sample> samples;
        for (int i = 0; i < one.samples; ++i)
            samples << Sample {0.1 * i, Reading {one.mean.value_or(9.9e37), !one.mean, 0}};
        if (!folder.commit(one, samples, QJsonObject(), facts, error))
            return false;
    }
    folder.release();
    return true;
}

QDateTime day(int number)
{
    return QDateTime(QDate(2026, 12, number), QTime(10, 0), Qt::UTC);
}

} // namespace ResultsFixture
